// setup: the installer of the Norvo printer software for Unix.
//
// One run, from main to exit, without a menu: locate the host commands, read
// the command line, find an earlier installation, check space and running
// programs, copy the distribution into a work area, unpack the package there,
// build or update the installation tree and process the package list. Every
// change on the host goes through SysCmd; every string kept here is a saved
// string that lives until the process ends.
//
// Exit statuses: 0 normal end, -v, -h and every refusal the user can act on,
// 1 a fatal command failure or exhausted memory, 2 an unknown option or a
// work area given on the command line that cannot be created.
#ifndef NORVO_SETUP_H
#define NORVO_SETUP_H

#include "utils/utils.h"

// ---- Entry, command line and run sequence (main.cpp, setup.cpp, install.cpp)

// Fixed words the installer builds its paths and names from.
inline constexpr char szMakerDir[] = "Norvo";  // <base>/Norvo/npxx
inline constexpr char szProductDir[] = "npxx";
inline constexpr char szArchiveName[] = "Linuxi386Npxx";  // <work>/Linuxi386Npxx.tar.Z
inline constexpr char szPkgDir[] = "pkg";                 // <work>/pkg/pkg.list
inline constexpr char szSpoolDirFmt[] = "/var/spool/%s";  // filled with szMakerDir
inline constexpr char szVersion[] = "3.02.05";
inline constexpr char szDefaultBase[] = "/usr";

// Installer state: set once, never released. my_name, flUseLog and LineBuf
// are the toolkit's (utils/utils.h).
extern char *pPathToSetup;              // directory of the running setup: the distribution
extern char *pNorvoInstallDir;          // work area, "/tmp/NorvoInstall" or "<dir>/NorvoInstall"
extern char *pCmdLineInstallDir;        // base given by "install <dir>", or null
extern char *pCurrentInstallDir;        // base of an earlier installation, or null
extern char *pTargetInstallDir;         // base to install into
extern char *pAppDir;                   // <target>/Norvo/npxx
extern int flCreatedTmpDir;             // 1: we created the work-area parent ourselves
extern const char *InstallInfo[5];      // messages 10..14, filled by main
extern const char *InstallSiteInfo[4];  // messages 10, 11, 17, 18, filled by main
// Programs that must not run while an earlier installation is replaced.
extern const char pBinaryInstanceCheckList[];

// Before anything else of the run (nothing is created, logged or changed
// yet): "-h" or "--help" prints the usage with the program's name on
// standard output and exits 0; any other word that starts with '-' (but "-v",
// and the word behind "install") is an unknown option: "ERROR: unknown
// option" with the word and the usage on standard error, exit 2.
void screenCommandLineOptions(int argc, char **argv, const char *name);
// Reads the command line: "install <dir>", "-v" and a work-area parent
// directory. "-v" prints the version and exits 0; a work area that cannot
// be created exits 2.
void parseCommandLineOptions(int argc, char **argv);
// Fills the work area from the distribution directory and runs Install.
// Always 0.
int installFromSite(const char *workDir);
// Unpacks the package and builds or updates the installation. 0 when done or
// refused (not root), 1 when the package list asked to quit.
int Install();
// Removes the work area and runs the installed npqadmin with -upgrade and
// -clean.
void NorvoClean(const char *workDir);
// Steps 6 to 10 of the run, after the command line: finds an earlier
// installation, sets the target and application directories, checks space,
// guards and moves an earlier installation, installs and cleans up. May end
// the process (refusals, fatal commands); returns when the run is done.
void runInstallation();

// ---- Message catalog (catalog.cpp) -----------------------------------------
// Every text the installer shows the user, by id, in six languages. Each
// translation has the same printf conversions in the same order as the
// English text of its id.
constexpr int NLS_SETUP_COUNT = 71;  // ids 0..70

// Message ids: the position of each text in the tables below.
enum SetupMessage : int {
  MSG_EXIT_HELP = 0,          // "~e Exit Help"
  MSG_CONTENTS = 1,           // "~c Contents"
  MSG_BACK = 2,               // "~b Back"
  MSG_CANNOT_OPEN = 3,        // "ERROR: couldn't open %s" (a work-area parent)
  MSG_CANNOT_EJECT = 4,       // the diskette cannot be ejected
  MSG_NO_DISKETTE = 5,        // the diskette cannot be detected
  MSG_INSERT_DISKETTE = 6,    // "Please insert install diskette %i and press enter"
  MSG_ENTER_INSTALL_DIR = 7,  // prompt for the installation directory [%s]
  MSG_USE_DIR = 8,            // "Do you want to use %s"
  MSG_RETURN_TO_MENU = 9,     // "Do you want to return to Setup Menu"
  MSG_INFO_FULL_PATH = 10,    // installation notes, five lines: 10 to 14
  MSG_INFO_SPECIFY_DIR = 11,
  MSG_INFO_NORVO_DIR = 12,
  MSG_INFO_WILL_CREATE = 13,
  MSG_INFO_IF_MISSING = 14,
  MSG_WRONG_ARGUMENTS = 15,  // interface-program lines, the same in every language
  MSG_CONSULT_ADMIN = 16,
  MSG_SITE_CREATE = 17,  // installation-site notes: 10, 11, 17, 18
  MSG_SITE_IF_MISSING = 18,
  MSG_NO_DISKETTE_0 = 19,         // install diskette 0 not found
  MSG_QUEUES_INVALID = 20,        // another directory invalidates print queues [%s]
  MSG_NO_LIST = 21,               // "can't open file, %sInstall/disks"
  MSG_CREATING_DISKETTE = 22,     // "\nCreating diskette %i "
  MSG_INSERT_DOS = 23,            // insert DOS diskette (%i) and press enter
  MSG_NO_FLOPPY_LIST = 24,        // /floppy/floppy0/disks cannot be opened
  MSG_INSERT_DISKETTE_NL = 25,    // insert diskette %i and press enter, newline
  MSG_NO_DIR_LIST = 26,           // "can't open file, %s/disks\n"
  MSG_CONFIGURING = 27,           // "\nImplementing configuration\n"
  MSG_STOP_ALL = 28,              // "stop all"
  MSG_NO_DEVICE = 29,             // device /dev/%s not found
  MSG_CLIENT_NAME_FIRST = 30,     // the client's name comes before registering
  MSG_DAEMON_STARTING = 31,       // "\nStarting Norvo print daemon.\n"
  MSG_DAEMON_STOPPING = 32,       // "\nStopping Norvo print daemon.\n"
  MSG_REMOVING_PRINTERS = 33,     // "\nRemoving Existing Printers \n"
  MSG_PRINTER_TO_REMOVE = 34,     // prompt for the printer to remove
  MSG_NOT_ROOT = 35,              // "%s is logged in\nYou must become root to run %s\n"
  MSG_PRESS_RETURN = 36,          // "\nPress <Return> to continue. "
  MSG_PRINTER_TO_REMOVE_NL = 37,  // the same prompt behind a newline
  MSG_SAVED_UPDATE = 38,          // "%s has been saved. Do want to update it"
  MSG_OFFSET_FILES = 39,          // offset_files note of the diskette set
  MSG_DISABLED_ENABLED = 40,      // choices "_disabled,_enabled"
  MSG_NO_YES = 41,                // choices "_No,_Yes"
  MSG_EXISTING_DIR = 42,          // "\nExisting installation directory [%s]\n "
  MSG_EXISTING_PRINTERS = 43,     // "Existing printer list:\n "
  MSG_SAVED_PRINTERS = 44,        // "Saved printer list:\n"
  MSG_INTERFACES = 45,            // choices "none,GUI,TTY"
  MSG_CONNECTIONS = 46,           // choices of the connection
  MSG_TRANSPORTS = 47,            // choices "_TCP/IP,_local device"
  MSG_FEATURES = 48,              // choices of the feature selection
  MSG_WORK_TOO_SMALL = 49,        // not enough space in the work area %s (%e bytes)
  MSG_NONE_TTY = 50,              // choices "_none,    ,_TTY"
  MSG_NO_PPD = 51,                // "\nUnable to locate ppd files ppd/* \n"
  MSG_INSERT_DISKETTE_ONLY = 52,  // "Please insert install diskette %i\n"
  MSG_INSERT_DOS_ONLY = 53,       // "Please insert DOS formatted diskette (%i)\n"
  MSG_REMOVE_PACKAGES = 54,       // packages to remove before the upgrade (%s)
  MSG_BASE_TOO_SMALL = 55,        // not enough space at the base %s (%e bytes)
  MSG_SHARED_TOO_SMALL = 56,      // one file system for both: %s, %s, %e bytes
  MSG_EMPTY = 57,                 // ""
  MSG_SETUP_ERROR = 58,           // "setup: ERROR"
  MSG_KILLED_DAEMON = 59,         // "killed NPrintD %s\n"
  MSG_NO_RELEASE = 60,            // "failed ts get version" (uname failed)
  MSG_WRONG_VERSION = 61,         // the wrong version of the software
  MSG_OLD_DAEMON = 62,            // the earlier print daemon NPrintD (%s x3, %s)
  MSG_CONTINUE = 63,              // "\nDo You want to continue with the installation? [yn] "
  MSG_READING_DISKETTE = 64,      // "Reading diskette %i\n"
  MSG_NO_SIZE_FILE = 65,          // isize or tsize missing
  MSG_RUNNING = 66,               // process guard: the running programs follow
  MSG_CHOOSE = 67,                // "Would you like to:\n"
  MSG_WAIT = 68,                  // "1.  Wait 30 seconds ..."
  MSG_QUIT = 69,                  // "2.  Quit the installation\n"
  MSG_SELECT = 70,                // "\nEnter a selection:  "
};
static_assert(MSG_SELECT + 1 == NLS_SETUP_COUNT, "one name for every message id");

extern const char *const NLS_ENGLISH[NLS_SETUP_COUNT];
extern const char *const NLS_SPANISH[NLS_SETUP_COUNT];
extern const char *const NLS_ITALIAN[NLS_SETUP_COUNT];
extern const char *const NLS_FRENCH[NLS_SETUP_COUNT];
extern const char *const NLS_GERMAN[NLS_SETUP_COUNT];
extern const char *const NLS_PORTUGUESE[NLS_SETUP_COUNT];

// The table of this run; null until the first nlsSetupStrCvt.
extern const char *const *pCurLang;

// The text of message id (0..70) in the language of this run. The first call
// chooses the language from LANG and cuts LANG's code-set suffix (".ISO8859-1")
// in the environment, so the commands started later see the plain name. The
// text is constant; an id outside 0..70 gives "".
const char *nlsSetupStrCvt(int id);

// ---- Previous installation (previous.cpp; StripToBaseName in setup.cpp) ----

// Shortens path in place to an installation base: cut at the first "npxx",
// then at the first "Norvo", then drop one trailing '/' unless the path is
// "/". Returns path (null for null).
char *StripToBaseName(char *path);
// The base of an earlier installation, found through /usr/Norvo/npxx without
// following it: a real directory (or a link that cannot be read) gives
// "/usr", a link the base of its target (a relative target taken from /usr;
// a dangling link counts too). Null when nothing is there. Saved string.
char *locatePreviousInstallation();
// Moves the application directory of base fromBase into base toBase: a
// link at the destination's application directory is removed, anything
// else there is renamed to "<dir>.old-<n>" (named in the log; it may be the
// only complete copy left by an interrupted move), toBase/Norvo made (755),
// the directory moved, and unless toBase is /usr the well-known location
// becomes a link to it. Nothing happens when both name one directory. A
// failed move or link ends the process with status 1.
void moveInstallation(const char *fromBase, const char *toBase);

// ---- Distribution media (media.cpp) ----------------------------------------
// The distribution list "disks" (or "DISKS" of a DOS medium) names every file
// of the distribution, the archive segments pkg_tar.* in joining order, and
// ends with the word end_of_list.

// Loads dir/disks, else dir/DISKS (upper-cased up to end_of_list), into
// LineBuf. Neither readable: message 21 behind "ERROR: " on stderr, exit 1.
int GetDisksData(const char *dir);
// False (after message 35) when the user is not root. An earlier
// installation with the old print daemon (NPrintD, NPrintDStop in pAppDir)
// is announced (message 62) and confirmed (63): y/yes go on, n removes the
// daemon's /etc/rc2.d links and goes on, no and end of input end the
// process with status 0; anything else asks again.
bool readyForInstallation();
// Appends the segments named by the work area's list and present there, in
// list order, to <work>/Linuxi386Npxx.tar.Z; a failed append ends the process.
void genZFile();

// ---- Free space (freespace.cpp) --------------------------------------------

// Returns when the work area can take tsize and baseDir/makerWord/npxx can take
// isize (each + 40, in df's units; one file system must take both), counting
// an old work area and an old application directory as free. Otherwise, and
// when isize or tsize is missing, prints the reason and ends the process with
// status 0. A work area whose file system cannot be measured is not checked.
void FreeSpaceForInstall(const char *workDir, const char *baseDir, const char *makerWord);

// ---- Process guard (procguard.cpp) -----------------------------------------

// While a program of names (",a,b,") runs, shows them with a menu (messages
// 66-70) on stdout and reads one selection from stdin: 1 waits up to 30
// seconds, 2 quits. True when the user quits (end of input counts as quitting),
// false when none of them runs (at once or after a wait).
bool QuitForRunningProcesses(const char *names);

// ---- Package list (pkglist.cpp) --------------------------------------------
// Works through <work area>/<pkgDirName>/pkg.list line by line: copies,
// touches, new directories, modes, owners, groups, links, renames, sed edits,
// /usr/bin wrappers, release conditions and process checks (see pkglist.cpp
// for the line language). 0 when the list was worked through, 1 when a
// checkps line ended with the user's choice to quit. A missing list ends the
// process with status 0; an attribute command that fails, a word that is not
// safe for a shell line, an overlong line or a link that would replace a real
// file or directory end it with status 1, before that line changes the host.
int ProcessPkgList(const char *pkgDirName);
// Words are checked for shell lines with IsShellSafeWord (utils/utils.h).
// Reads the package list at path and checks every line as ProcessPkgList
// does, but carries nothing out (no command, prompt or change on the host).
// The number of lines that would run; -1 when the list cannot be opened or
// a line would be refused (then *reason, if given, says why, in a static
// buffer valid until the next call).
int CheckPkgList(const char *path, const char **reason);
// The release condition of a "v" line: release and version compared as byte
// strings (strcmp, so "2.2.14" sorts before "2.2.5"). op is one of "<",
// "<=", "=", ">", ">="; any other operator, or a null argument, never holds.
bool ReleaseConditionHolds(const char *release, const char *op, const char *version);

// ---- Printing subsystem and scripts (scripts.cpp) --------------------------
// Script texts. Every generated script is ScriptShShell and a newline, the
// banner ScriptCopyRight filled with the current year (five lines of 63
// columns and an empty line), then its template formatted with its
// arguments. Only SimpleScript ends with a newline.
extern const char ScriptShShell[];         // "#!/bin/sh"
extern const char ScriptCopyRight[];       // printf format of the year (%d)
extern const char SimpleScript[];          // dir to cd to, toolDir, toolName
extern const char NorvoPrintnpxxScript[];  // appDir, "npxx", log base x2, "npxx" x2
extern const char NorvoNSFScript[];        // appDir, job spool directory

// Writes appDir/.np_cfg (mode 644): " CUPS " when cupsd runs, else " LPRng "
// when the located lpd is LPRng, else " BSD ". True when written.
bool createPrintingSubsystemFile(const char *appDir);
// Fresh installations: creates pAppDir (mode 755 under /usr, else 775) and,
// for another base, /usr/Norvo and the link /usr/Norvo/npxx -> pAppDir (a
// failure ends the process with status 1).
void createInstallationDirectories(const char *base);
// Writes pAppDir/NorvoPrintnpxx and pAppDir/NorvoNSF (the latter for the job
// spool directory <spoolDir>/npxx) and, with LPRng and printconf, links the
// interface script into /usr/share/printconf/util.
void createQueueScripts(const char *spoolDir);
// The queue interface script for pAppDir at path, mode 755. False when path
// cannot be opened (reported on stderr).
bool generateNorvoPrintnpxxScript(const char *path, const char *shellLine, const char *tmpl);
// The send-file script for pAppDir and jobSpoolDir at path, mode 755. False
// when path cannot be opened (reported on stderr).
bool generateNorvoNSFScript(const char *path, const char *shellLine, const char *tmpl,
                            const char *jobSpoolDir);
// A start-up wrapper at path (mode 755) that changes to dir and runs
// toolDir/toolName with the caller's arguments. Nothing is written when path
// cannot be opened (reported on stderr).
void GenSimpleScript(const char *path, const char *shellLine, const char *tmpl, const char *dir,
                     const char *toolDir, const char *toolName);

// ---- Package-map upgrade (upgrade.cpp) --------------------------------------
// For hosts with a System V package database (/var/sadm/pkg). Not part of
// the run sequence on this platform.

extern const char *pPathToInstallf;  // the registration tool, "/usr/sbin/installf"

// Upgrades the registered package pkg from the unpacked image in the work
// area: each plain file ("f") of imageDir/HLCRnpxx/pkgmap is registered with
// installf and copied from <work>/<pkg>/root<path> (absolute paths) or
// <work>/<pkg>/reloc/<path> (relative ones, installed under
// <target>/Norvo), the registration is completed with installf -f, and the
// VERSION line of /var/sadm/pkg/<pkg>/pkginfo becomes szVersion. A missing
// map ends the process (OpenInputFile, level 2). 1 when all of it was done;
// 0 when a word was refused (not shell-safe, too long), a registration, a
// copy or the edit failed: each is reported on stderr and the version is
// then left as it was, pkginfo untouched.
int upgradeSolarisPackage(const char *pkg, const char *imageDir);

#endif
