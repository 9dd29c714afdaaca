/* A C program bound to QV9REG.DLL through its import library, as a suite
 * program built with the header and QV9REG.lib is: exit code 0 when the
 * exports resolve and answer. */
#include <stdio.h>

#include "locator/qv9reg.h"

int main(void) {
  QVCHAR text[8];
  int version = QVREGVER(QV9REG_INTERFACE_VERSION);
  text[0] = 'x';
  QVGETERM(text, 1, 1); /* size 1: an empty text */
  if (version != QV9REG_INTERFACE_VERSION || text[0] != 0) {
    printf("QVREGVER %d, QVGETERM first character %d\n", version, (int)text[0]);
    return 1;
  }
  printf("QV9REG.DLL bound through the import library, interface version %d\n", version);
  return 0;
}
