# Turns the two string-table sources into what the builds need:
#   CONNECT_RC   NORVACONNECT's resource script: its STRINGTABLE and the
#                dialog's kind icons (ICON resources named Warning1, Error1,
#                Information1, Confirmation1)
#   LIBRARY_RC   QV9REG's resource script: its STRINGTABLE and VERSIONINFO
#   TABLES_CPP   both tables as constexpr C++ data for qv::resources, which
#                serves them to the native build and the in-memory machine
#
# Run at build time:  cmake -DCONNECT_TABLE=... -DLIBRARY_TABLE=...
#   -DICON_DIR=... -DCONNECT_RC=... -DLIBRARY_RC=... -DTABLES_CPP=...
#   -DQV9REG_VERSION=a.b.c.d -DCOMPANY_NAME=... -DQV9REG_DESCRIPTION=...
#   -P generate_strings.cmake
#
# Source format (see the header of each table file): "ID<TAB>text", ids
# strictly ascending, escapes \r \n \t \\ \" \uXXXX, ASCII only. The text is
# kept in its escaped form and translated escape by escape: the C++ literal
# takes the escapes as they are (they are a subset of C++'s), the resource
# script gets windres' spelling ("" for a quotation mark, \xXXXX for \uXXXX).

cmake_minimum_required(VERSION 3.25)

foreach(var CONNECT_TABLE LIBRARY_TABLE ICON_DIR CONNECT_RC LIBRARY_RC TABLES_CPP
            QV9REG_VERSION COMPANY_NAME QV9REG_DESCRIPTION)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "generate_strings: ${var} is not set")
  endif()
endforeach()

# Stand-ins for the characters that CMake's list handling would otherwise
# split or group on, and for an escaped backslash while the other escapes
# are examined. Control characters cannot occur in a valid source file.
string(ASCII 1 QV_BACKSLASH)
string(ASCII 2 QV_SEMICOLON)
string(ASCII 3 QV_LBRACKET)
string(ASCII 4 QV_RBRACKET)
string(ASCII 5 QV_LINE_BACKSLASH)

set(QV_UESCAPE "\\\\u[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]")

# Reads one table file into <prefix>_IDS (a list of ids), and for each id
# <prefix>_CPP_<id> (C++ literal body) and <prefix>_RC_<id> (windres body).
function(qv_read_table file prefix)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file}: not found")
  endif()
  file(READ "${file}" content)
  string(REPLACE "\r\n" "\n" content "${content}")
  if(content MATCHES "[^\n -~\t]")
    message(FATAL_ERROR "${file}: only printable ASCII is allowed; write other characters as \\uXXXX")
  endif()
  # A backslash before a list separator would escape it, so backslashes
  # are hidden as well while the file is a list of lines.
  string(REPLACE "\\" "${QV_LINE_BACKSLASH}" content "${content}")
  string(REPLACE ";" "${QV_SEMICOLON}" content "${content}")
  string(REPLACE "[" "${QV_LBRACKET}" content "${content}")
  string(REPLACE "]" "${QV_RBRACKET}" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")

  set(ids "")
  set(previous -1)
  set(lineno 0)
  foreach(line IN LISTS lines)
    math(EXPR lineno "${lineno} + 1")
    string(REPLACE "${QV_LINE_BACKSLASH}" "\\" line "${line}")
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    set(where "${file}:${lineno}")
    if(NOT line MATCHES "^([0-9]+)\t(.*)$")
      message(FATAL_ERROR "${where}: expected a decimal id, one TAB and the text")
    endif()
    set(id_text "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_2}")
    if(id_text MATCHES "^0." OR id_text STREQUAL "0")
      message(FATAL_ERROR "${where}: id ${id_text}: ids start at 1 and have no leading zeros")
    endif()
    string(LENGTH "${id_text}" id_digits)
    if(id_digits GREATER 5)
      message(FATAL_ERROR "${where}: id ${id_text} is above 65535")
    endif()
    math(EXPR id "${id_text}")
    if(id GREATER 65535)
      message(FATAL_ERROR "${where}: id ${id} is above 65535 (string-table ids are 16 bits)")
    endif()
    if(NOT id GREATER previous)
      message(FATAL_ERROR "${where}: id ${id} does not follow ${previous}; ids must ascend strictly")
    endif()
    set(previous ${id})
    if(text STREQUAL "")
      message(FATAL_ERROR "${where}: id ${id} has an empty text (LoadString cannot tell it from a missing one)")
    endif()

    # Hide escaped backslashes, then every remaining backslash must start
    # one of the known escapes and every quotation mark must be escaped.
    string(REPLACE "\\\\" "${QV_BACKSLASH}" text "${text}")
    string(REGEX REPLACE "\\\\[rnt\"]" "" rest "${text}")
    string(REGEX REPLACE "${QV_UESCAPE}" "" rest "${rest}")
    if(rest MATCHES "\\\\")
      message(FATAL_ERROR "${where}: id ${id}: unknown escape; use \\r \\n \\t \\\\ \\\" or \\uXXXX")
    endif()
    if(rest MATCHES "\"")
      message(FATAL_ERROR "${where}: id ${id}: a quotation mark must be written \\\"")
    endif()
    string(REGEX MATCHALL "${QV_UESCAPE}" uescapes "${text}")
    foreach(u IN LISTS uescapes)
      string(SUBSTRING "${u}" 2 4 hex)
      math(EXPR code "0x${hex}")
      if(code LESS 160 OR (code GREATER_EQUAL 55296 AND code LESS_EQUAL 57343))
        message(FATAL_ERROR "${where}: id ${id}: ${u} is not allowed; \\u is for U+00A0 and up, outside the surrogates")
      endif()
    endforeach()

    set(cpp "${text}")
    string(REPLACE "${QV_BACKSLASH}" "\\\\" cpp "${cpp}")

    set(rc "${text}")
    string(REPLACE "\\\"" "\"\"" rc "${rc}")
    string(REPLACE "\\u" "\\x" rc "${rc}")
    string(REPLACE "${QV_BACKSLASH}" "\\\\" rc "${rc}")

    foreach(body cpp rc)
      string(REPLACE "${QV_SEMICOLON}" ";" ${body} "${${body}}")
      string(REPLACE "${QV_LBRACKET}" "[" ${body} "${${body}}")
      string(REPLACE "${QV_RBRACKET}" "]" ${body} "${${body}}")
    endforeach()
    list(APPEND ids ${id})
    set(${prefix}_CPP_${id} "${cpp}" PARENT_SCOPE)
    set(${prefix}_RC_${id} "${rc}" PARENT_SCOPE)
  endforeach()
  if(ids STREQUAL "")
    message(FATAL_ERROR "${file}: no entries")
  endif()
  set(${prefix}_IDS "${ids}" PARENT_SCOPE)
endfunction()

# The STRINGTABLE block of one table. English (United States), the language
# LoadString falls back to on every system.
function(qv_stringtable_block prefix source out)
  set(rc "// From ${source}\nLANGUAGE 0x09, 0x01\nSTRINGTABLE\nBEGIN\n")
  foreach(id IN LISTS ${prefix}_IDS)
    string(APPEND rc "  ${id}, L\"${${prefix}_RC_${id}}\"\n")
  endforeach()
  string(APPEND rc "END\n")
  set(${out} "${rc}" PARENT_SCOPE)
endfunction()

function(qv_cpp_table prefix name out)
  set(cpp "constexpr StringEntry ${name}[] = {\n")
  foreach(id IN LISTS ${prefix}_IDS)
    string(APPEND cpp "    {${id}, u\"${${prefix}_CPP_${id}}\"},\n")
  endforeach()
  string(APPEND cpp "};\n")
  set(${out} "${cpp}" PARENT_SCOPE)
endfunction()

function(qv_write file content)
  file(WRITE "${file}" "${content}")
endfunction()

qv_read_table("${CONNECT_TABLE}" CONNECT)
qv_read_table("${LIBRARY_TABLE}" LIBRARY)

get_filename_component(connect_name "${CONNECT_TABLE}" NAME)
get_filename_component(library_name "${LIBRARY_TABLE}" NAME)
set(banner "Generated by resources/generate_strings.cmake; edit the table sources instead.")

# --- NORVACONNECT.exe ------------------------------------------------------
qv_stringtable_block(CONNECT "resources/${connect_name}" connect_strings)
set(icons "")
foreach(icon Warning1 Error1 Information1 Confirmation1)
  set(path "${ICON_DIR}/${icon}.ico")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path}: icon not found")
  endif()
  string(APPEND icons "${icon} ICON \"${path}\"\n")
endforeach()
qv_write("${CONNECT_RC}" "// ${banner}
// NORVACONNECT.exe: string table and the message dialog's kind icons.

${connect_strings}
// The message dialog's kind icons, 36x36 32-bit with alpha, loaded by name.
LANGUAGE 0x09, 0x01
${icons}")

# --- QV9REG.DLL --------------------------------------------------------------
qv_stringtable_block(LIBRARY "resources/${library_name}" library_strings)
if(NOT QV9REG_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "QV9REG_VERSION '${QV9REG_VERSION}' is not of the form a.b.c.d")
endif()
set(version_commas "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
qv_write("${LIBRARY_RC}" "// ${banner}
// QV9REG.DLL: string table and version resource.

${library_strings}
// Numeric values stand for the winver.h names, so that this script needs no
// SDK header: VOS_NT_WINDOWS32 0x40004, VFT_DLL 0x2, VS_FFI_FILEFLAGSMASK 0x3F.
LANGUAGE 0x09, 0x01
1 VERSIONINFO
FILEVERSION ${version_commas}
PRODUCTVERSION ${version_commas}
FILEFLAGSMASK 0x3F
FILEFLAGS 0x0
FILEOS 0x40004
FILETYPE 0x2
FILESUBTYPE 0x0
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"CompanyName\", \"${COMPANY_NAME}\"
      VALUE \"FileDescription\", \"${QV9REG_DESCRIPTION}\"
      VALUE \"FileVersion\", \"${QV9REG_VERSION}\"
      VALUE \"InternalName\", \"QV9REG\"
      VALUE \"OriginalFilename\", \"QV9REG.DLL\"
      VALUE \"ProductName\", \"${QV9REG_DESCRIPTION}\"
      VALUE \"ProductVersion\", \"${QV9REG_VERSION}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
")

# --- C++ tables ----------------------------------------------------------------
qv_cpp_table(CONNECT kConnectEntries connect_table)
qv_cpp_table(LIBRARY kLibraryEntries library_table)
qv_write("${TABLES_CPP}" "// ${banner}
// Sources: resources/${connect_name}, resources/${library_name}.
#include \"resources/string_tables.h\"

namespace qv::resources {
namespace {

// NORVACONNECT.exe
${connect_table}
// QV9REG.DLL
${library_table}
}  // namespace

std::span<const StringEntry> ConnectTable() { return kConnectEntries; }
std::span<const StringEntry> LibraryTable() { return kLibraryEntries; }

}  // namespace qv::resources
")
