/* The public header compiles as C: its prototypes and pointer types are
 * usable by the suite's C programs. Nothing here binds the library. */
#include "locator/qv9reg.h"

int qv9reg_header_is_c(void) {
  QVGETNAD_FN nad = 0;
  QVGETINI_FN ini = 0;
  QVGETCFG_FN cfg = 0;
  QVGETERM_FN term = 0;
  QVREGVER_FN ver = 0;
  return sizeof(QVCHAR) == 2 && QV9REG_PATH_CHARS == 256 && QV9REG_MESSAGE_CHARS == 2049 && !nad && !ini && !cfg &&
                 !term && !ver
             ? 1
             : 0;
}
