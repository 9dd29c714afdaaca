/* QV9REG.DLL: where the Velmora suite keeps its data.
 *
 * Every program of the suite asks this library for the application-data
 * area on the file server (the NORVA share with its TARVEX and NETBIN
 * folders), the suite INI file VELMORA.INI and the main configuration file
 * named in TARVEX\QTCFG.INI. The library is plain C: five exported functions
 * with the C calling convention and undecorated names. Bind them with the
 * import library QV9REG.lib, or with LoadLibrary("QV9REG.DLL") and
 * GetProcAddress using the pointer types below.
 *
 * Strings are zero-terminated buffers of 16-bit characters owned by the
 * caller. The functions receive no buffer sizes, so every buffer must have
 * at least the size given here:
 *   - path and folder buffers:  QV9REG_PATH_CHARS    (256) characters;
 *   - message buffers:          QV9REG_MESSAGE_CHARS (2049) characters.
 * Nothing longer is ever written: a longer path is cut to 255 characters, a
 * longer message to 2048, each followed by the terminating zero.
 *
 * Results: a negative result is an error; its absolute value is the number
 * of the message in the library's string table (903 to 995), and the
 * message text is in the caller's message buffer. Zero or positive is
 * success; test only the sign.
 *
 * The no-dialog byte: 0 shows a failure in a message box titled "Velmora
 * Configuration Error" that closes itself after 20 seconds, and then ENDS
 * THE CALLING PROCESS with exit code 1 (the function does not return).
 * Non-zero returns the failure to the caller, who presents the message.
 *
 * The message-module handle: pass the module handle under which QV9REG.DLL
 * was loaded (the HMODULE of LoadLibrary, or GetModuleHandle("QV9REG.DLL")).
 * The library's message texts are read from that module's string table.
 *
 * Calls are expected one at a time; the library takes no locks.
 */
#ifndef QV9REG_H
#define QV9REG_H

#include <stddef.h> /* wchar_t for C callers */

#ifdef __cplusplus
extern "C" {
#endif

/* One character of a string buffer: UTF-16. wchar_t on Windows. */
#if defined(_WIN32)
typedef wchar_t QVCHAR;
#else
typedef unsigned short QVCHAR;
#endif

#if defined(_WIN32) && !defined(QVAPI)
#define QVAPI __cdecl
#elif !defined(QVAPI)
#define QVAPI
#endif

#define QV9REG_PATH_CHARS 256
#define QV9REG_MESSAGE_CHARS 2049
#define QV9REG_INTERFACE_VERSION 3

/* QVGETNAD: locates the application-data area.
 *
 * Reads the connection file NORVACONNECT.INI (the machine's common
 * application-data folder + "Norva\NorvaConnect.INI", or the path in the
 * environment variable NorvaConnectIniPath when its file name is
 * NORVACONNECT.INI), follows QVLINK.INI in the share root, and checks
 * TARVEX\QTCFG.INI against the share root.
 *
 *   tarvexFolder    out  the TARVEX folder, with trailing backslash. Also a
 *                        guard: when it is not empty on entry the call
 *                        returns 0 at once and changes nothing. Clear it
 *                        before each call.
 *   netBinFolder    out  the NETBIN folder, with trailing backslash
 *   shareRoot       out  the share root, with trailing backslash
 *   connectIniPath  out  the connection file used (also set on failures
 *                        from the connection-file step on)
 *   configFilePath  out  the configuration file named in QTCFG.INI (also set
 *                        when it does not exist, result -950)
 *   message         out  cleared on success, the message on failure
 *   noDialog        in   see above
 *   messageModule   in   see above
 *
 * Folder buffers are written only on success. Results: 0, or -941, -903,
 * -904, -943 ... -950. */
int QVAPI QVGETNAD(QVCHAR* tarvexFolder, QVCHAR* netBinFolder, QVCHAR* shareRoot, QVCHAR* connectIniPath,
                   QVCHAR* configFilePath, QVCHAR* message, unsigned char noDialog, void* messageModule);

/* QVGETINI: chooses the path of the suite INI file VELMORA.INI. Never fails.
 *
 *   suiteIniPath   in/out  when not empty on entry, returned unchanged (and
 *                          nothing else is touched); otherwise receives the
 *                          path, whether or not a file exists there
 *   options        in      text; containing "ALLUSERS" (any case) makes the
 *                          machine-wide location the default. May be NULL.
 *   message        out     cleared
 *   noDialog, messageModule as above
 *
 * Order: the environment variable VelmoraIniPath (when its file name is
 * VELMORA.INI), an existing per-user "Norva\Velmora.INI", an existing
 * machine-wide one, else the default location. The application-data folders
 * are those found by an earlier QVGETNAD of this process; before the first
 * QVGETNAD the default is the relative path Norva\VELMORA.INI. Returns 0. */
int QVAPI QVGETINI(QVCHAR* suiteIniPath, const QVCHAR* options, QVCHAR* message, unsigned char noDialog,
                   void* messageModule);

/* QVGETCFG: everything a program needs to open the suite's configuration.
 *
 *   configFilePath  out     the configuration file (QVGETNAD)
 *   suiteIniPath    in/out  VELMORA.INI (QVGETINI, per-user default)
 *   tarvexFolder    out     QVGETNAD's Tarvex folder
 *   serverFolder    out     [VelmoraServer] Directory of the suite INI, with
 *                           trailing backslash; written only when present
 *   netBinFolder    out     QVGETNAD's network-program folder
 *   shareRoot       out     QVGETNAD's share root
 *   serverMatch     out     1 when the server folder's QTCFG.INI names the
 *                           located application-data area, else 0
 *   reserved        out     always 0
 *   message         out     cleared on success, the message on failure
 *   noDialog, messageModule as above
 *
 * On failure suiteIniPath, serverFolder and serverMatch are not written.
 * Results: those of QVGETNAD. */
int QVAPI QVGETCFG(QVCHAR* configFilePath, QVCHAR* suiteIniPath, QVCHAR* tarvexFolder, QVCHAR* serverFolder,
                   QVCHAR* netBinFolder, QVCHAR* shareRoot, unsigned char* serverMatch, unsigned char* reserved,
                   QVCHAR* message, unsigned char noDialog, void* messageModule);

/* QVGETERM: string number |number| of the CALLING PROGRAM's own string
 * table (not the library's), at most size - 1 characters and a terminating
 * zero. A missing string gives an empty text; size 0 or less writes nothing. */
void QVAPI QVGETERM(QVCHAR* text, int number, int size);

/* QVREGVER: the library's interface version, QV9REG_INTERFACE_VERSION (3).
 * Callers built for another version must not use the library. */
int QVAPI QVREGVER(int callerVersion);

/* Pointer types for GetProcAddress. */
typedef int(QVAPI* QVGETNAD_FN)(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char, void*);
typedef int(QVAPI* QVGETINI_FN)(QVCHAR*, const QVCHAR*, QVCHAR*, unsigned char, void*);
typedef int(QVAPI* QVGETCFG_FN)(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char*, unsigned char*,
                                QVCHAR*, unsigned char, void*);
typedef void(QVAPI* QVGETERM_FN)(QVCHAR*, int, int);
typedef int(QVAPI* QVREGVER_FN)(int);

#ifdef __cplusplus
}
#endif

#endif /* QV9REG_H */
