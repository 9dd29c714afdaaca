// TDMfilesec: the connect program's file-security module. It looks up the
// local names of the built-in Users and Power Users groups when it is
// created, and gives both groups full control of a file (NORVACONNECT.INI)
// through its TNTFileSecurity component.
#pragma once

#include "connect/ntfilesecurity.h"

namespace qv {

class TDMfilesec {
 public:
  TDMfilesec() { DataModuleCreate(); }

  void DataModuleCreate();
  // Gives Users and Power Users full control of fn. Afterwards FSbad and
  // FSerrormsg tell the outcome. Raises EFileSecurityError when the file's
  // list could not be read (the entry positions then point nowhere) or an
  // account cannot be resolved; nothing has been written in that case.
  void OpenSecurity(StringView fn);

  void FSGetSecurity(TNTFileSecurity& sender, std::uint32_t error, std::uint32_t location);
  void FSSetSecurity(TNTFileSecurity& sender, std::uint32_t error, std::uint32_t location);

  TNTFileSecurity FS;
  int UserIndex = 0;
  int PowerUserIndex = 0;
  bool FSbad = false;
  String FSerrormsg;

  // The groups' local names, looked up at creation (process-wide).
  static const String& UsersGroupName();
  static const String& PowerUsersGroupName();
};

inline constexpr char16_t kUsersSid[] = u"S-1-5-32-545";
inline constexpr char16_t kPowerUsersSid[] = u"S-1-5-32-547";

}  // namespace qv
