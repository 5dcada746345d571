// scripts: the printing-subsystem file, the installation tree and the shell
// scripts the installer generates (the queue interface script, the send-file
// script and the /usr/bin start-up wrappers).
//
// The scripts are templates: constexpr printf formats written out below line
// by line, tabs and blanks exactly as the installed product expects them.
// The interface and send-file scripts are generated for every printing
// subsystem at once; at run time they read .np_cfg and take their branch.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "installer/setup.h"
#include "syscmd/SysCmd.h"

constexpr char ScriptShShell[] = "#!/bin/sh";

// Five lines of 63 columns and an empty line; line 3 holds the year.
constexpr char ScriptCopyRight[] =
    "###############################################################\n"
    "##                                                           ##\n"
    "##  Copyright (c) %04d Norvo Systems.  All rights reserved.  ##\n"
    "##                                                           ##\n"
    "###############################################################\n"
    "\n";

constexpr char SimpleScript[] = "\n"
                                "NPrintFileSourceDir=`pwd`\n"
                                "export NPrintFileSourceDir\n"
                                "\n"
                                "cd %s\n"
                                "exec %s/%s $*\n";

constexpr char NorvoPrintnpxxScript[] =
    "ToolPath=\"%s\"\n"
    "CfgFlags=`cat ${ToolPath}/.np_cfg`\n"
    "\n"
    "## Determine configuration\n"
    "for flag in ${CfgFlags}\n"
    "do\n"
    "    case $flag in\n"
    "\tLPRng | V5 | AIX | BSD | CUPS)\n"
    "\t    flConfig=$flag\n"
    "\t    ;;\n"
    "\t*)  ;;\n"
    "    esac\n"
    "done\n"
    "\n"
    "\n"
    "## Main section of the script\n"
    "case ${flConfig:-V5} in\n"
    "    AIX) ## The name says it all... native lpd subsystems\n"
    "\tcd ${ToolPath}\n"
    "\t${ToolPath}/AixInterface $*\n"
    "\t;;\n"
    "\n"
    "    BSD) ## SunOS, DEC-UX, and native Linux lpd subsystems\n"
    "\tNPrintQueue=`pwd`\n"
    "\tNPrintPrinter=`basename $NPrintQueue`\n"
    "\n"
    "\t${ToolPath}/npr%stty -d$NPrintPrinter -f >%s.log 2>%s.log\n"
    "\t;;\n"
    "\n"
    "    LPRng) ## A BSD subsytem with additional quirks\n"
    "\tNPrintFileSourceDir=`pwd`\n"
    "\texport NPrintFileSourceDir\n"
    "\n"
    "\tNPrintQueue=`echo \"$1\" | sed -e \"s/-P//\"`\n"
    "\tSPOOL_DIR=`echo \"$2\" | sed -e \"s/-d//\"`\n"
    "\tFFL=`echo \"$3\" | sed -e \"s#-e#${SPOOL_DIR}/#\" -e \"s#,# ${SPOOL_DIR}/#g\"`\n"
    "\toptions=`echo \"$4\" | sed -e \"s/-Z/-o/\" -e \"s/,/ -o/g\"`\n"
    "\tNPrintUser_name=`echo \"$5\" | sed -e \"s/-n//\"`\n"
    "\tNPrintHost_name=`echo \"$6\" | sed -e \"s/-h//\"`\n"
    "\n"
    "\tcd ${ToolPath}\n"
    "        ${ToolPath}/nprnpxxtty -d${NPrintQueue} -f $options $FFL 1>>/dev/null 2>>/dev/null\n"
    "\texit 0\n"
    "\t;;\n"
    "\n"
    "    V5)\t## Solaris, HP-UX, SGI, and SCO native lpd subsystems\n"
    "\tPATH=/usr/sbin:/usr/bin\n"
    "\tNPrintPrinter=`/usr/bin/basename $0`\n"
    "\tNPrintRequest_id=$1\n"
    "\tNPrintUser_name=$2\n"
    "\tNPrintTitle=`echo $3 | sed -e \"s/###[ 0-9A-z#].*//\"`\n"
    "\tNPrintCopies=$4\n"
    "\tNPrintOption_list=$5\n"
    "\texport PATH NPrintPrinter NPrintRequest_id NPrintUser_name NPrintTitle NPrintCopies NPrintOption_list\n"
    "\tshift 5\n"
    "\n"
    "\tcd ${ToolPath}\n"
    "\t${ToolPath}/npr%stty -d$NPrintPrinter -i $*\n"
    "\t;;\n"
    "\n"
    "    CUPS)## Common Unix Printing System support\n"
    "\tPATH=/usr/sbin:/usr/bin\n"
    "\tNPrintPrinter=$PRINTER\n"
    "\tNPrintRequest_id=$1\n"
    "\tNPrintUser_name=$2\n"
    "\tNPrintTitle=$3\n"
    "\tNPrintCopies=$4\n"
    "\tNPrintOption_list=$5\n"
    "\texport PATH NPrintPrinter NPrintRequest_id NPrintUser_name NPrintTitle NPrintCopies NPrintOption_list\n"
    "\tshift 5\n"
    "\n"
    "\tcd ${ToolPath}\n"
    "\t${ToolPath}/npr%stty -d$NPrintPrinter -i $*\n"
    "\t;;\n"
    "esac";

constexpr char NorvoNSFScript[] =
    "ToolPath=\"%s\"\n"
    "CfgFlags=`cat ${ToolPath}/.np_cfg`\n"
    "SpoolDir=\"%s\"\n"
    "\n"
    "# Determine configuration\n"
    "for flag in ${CfgFlags}\n"
    "do\n"
    "    case $flag in\n"
    "\tLPRng | V5 | AIX | BSD | CUPS)\n"
    "\t    flConfig=$flag\n"
    "\t    ;;\n"
    "\n"
    "\t*)  ;;\n"
    "    esac\n"
    "done\n"
    "\n"
    "\n"
    "# Main section of the script\n"
    "case ${flConfig:-V5} in\n"
    "    AIX) # The name says it all... native lpd subsystems\n"
    "\tcd ${ToolPath}\n"
    "\n"
    "\t_exitVal=1\n"
    "\twhile [ $_exitVal -ne 0 ]\n"
    "\tdo\n"
    "\t    ${ToolPath}/nsf $*\n"
    "\t    _exitVal=$?\n"
    "\tdone\n"
    "\n"
    "\t;;\n"
    "\n"
    "    BSD) # SunOS, DEC-UX, and native Linux lpd subsystems\n"
    "\tNPrintQueue=`pwd`\n"
    "\tNPrintPrinter=`basename ${NPrintQueue}`\n"
    "\n"
    "\t# Store STDIN in temporary file\n"
    "\tcat <&0 > ${SpoolDir}/${NPrintPrinter}/${NPrintPrinter}.$$\n"
    "\n"
    "\t_exitVal=1\n"
    "\twhile [ $_exitVal -ne 0 ]\n"
    "\tdo\n"
    "\t    ${ToolPath}/nsf ${SpoolDir}/${NPrintPrinter}/${NPrintPrinter}.$$\n"
    "\t    _exitVal=$?\n"
    "\tdone\n"
    "\n"
    "\t# Remove temporary file\n"
    "\trm -f ${SpoolDir}/${NPrintPrinter}/${NPrintPrinter}.$$\n"
    "\t;;\n"
    "\n"
    "    LPRng) # A BSD subsytem with additional quirks\n"
    "\tNPrintQueue=`pwd`\n"
    "\tNPrintPrinter=`basename ${NPrintQueue}`\n"
    "\n"
    "\t# OK... what are we looking for\n"
    "\tfiles=\n"
    "\twhile getopts C:A:F:H:J:L:P:Q:a:d:e:f:h:j:k:l:n:s:w:y:t:x: opt\n"
    "\tdo\n"
    "\t    case $opt in\n"
    "\t\tf)  files=\"$files $OPTARG\"\n"
    "\t\t    ;;\n"
    "\t\t*)\n"
    "\t\t    ;;\n"
    "\t    esac\n"
    "\tdone\n"
    "\n"
    "\t# Store STDIN in temporary file if needed...\n"
    "\tpJob=\n"
    "\tflRemoveJob=\"False\"\n"
    "\tfor file in $files\n"
    "\tdo\n"
    "\t    if [ \"$file\" = \"(stdin)\" ]\n"
    "\t    then\n"
    "\t\tcat <&0 > ${SPOOL_DIR}/${NPrintPrinter}.$$\n"
    "\t\tpJob=\"${SPOOL_DIR}/${NPrintPrinter}.$$\"\n"
    "\t\tflRemoveJob=\"True\"\n"
    "\t    else\n"
    "\t\tpJob=\" $pJob $file\"\n"
    "\t    fi\n"
    "\tdone\n"
    "\n"
    "\t# Continue until nsf does the job\n"
    "\t_exitVal=1\n"
    "\twhile [ $_exitVal -ne 0 ]\n"
    "\tdo\n"
    "\t    ${ToolPath}/nsf $pJob\n"
    "\t    _exitVal=$?\n"
    "\tdone\n"
    "\n"
    "\t# Remove temporary file if needed...\n"
    "\tif [ ${flRemoveJob:-False} = \"True\" ]\n"
    "\tthen\n"
    "\t    rm -f $pJob\n"
    "\tfi\n"
    "\t;;\n"
    "\n"
    "    V5) # Solaris, HP-UX, SGI, and SCO native lpd subsystems\n"
    "\tPATH=/usr/sbin:/usr/bin\n"
    "\tNPrintPrinter=`/usr/bin/basename $0`\n"
    "\tNPrintRequest_id=$1\n"
    "\tNPrintUser_name=$2\n"
    "\tNPrintTitle=$3\n"
    "\tNPrintCopies=$4\n"
    "\tNPrintOption_list=$5\n"
    "\texport PATH NPrintPrinter NPrintRequest_id NPrintUser_name NPrintTitle NPrintCopies NPrintOption_list\n"
    "\n"
    "\tshift 5\n"
    "\n"
    "\tcd ${ToolPath}\n"
    "\t_exitVal=1\n"
    "\twhile [ $_exitVal -ne 0 ]\n"
    "\tdo\n"
    "\t    ${ToolPath}/nsf $*\n"
    "\t     _exitVal=$?\n"
    "\tdone\n"
    "\t;;\n"
    "\n"
    "    CUPS) # Common Unix Printing System\n"
    "\tPATH=/usr/sbin:/usr/bin\n"
    "\tNPrintPrinter=$PRINTER\n"
    "\tNPrintRequest_id=$1\n"
    "\tNPrintUser_name=$2\n"
    "\tNPrintTitle=$3\n"
    "\tNPrintCopies=$4\n"
    "\tNPrintOption_list=$5\n"
    "\texport PATH NPrintPrinter NPrintRequest_id NPrintUser_name NPrintTitle NPrintCopies NPrintOption_list\n"
    "\n"
    "\tshift 5\n"
    "\n"
    "\tcd ${ToolPath}\n"
    "\t_exitVal=1\n"
    "\twhile [ $_exitVal -ne 0 ]\n"
    "\tdo\n"
    "\t    ${ToolPath}/nsf $*\n"
    "\t     _exitVal=$?\n"
    "\tdone\n"
    "\t;;\n"
    "esac";

// The current year, as the banner shows it.
static int CurrentYear()
{
  time_t now = time(nullptr);
  struct tm local;
  if (!localtime_r(&now, &local))
    return 1970;
  return local.tm_year + 1900;
}

// Opens path for a new script (reported on stderr when it cannot be opened)
// and writes the shell line and the banner. Null when not opened.
static FILE *StartScript(const char *path, const char *shellLine)
{
  FILE *script = OpenFile(nullptr, path, "w+", LEVEL_WARNING);
  if (!script)
    return nullptr;
  fprintf(script, "%s\n", shellLine);
  fprintf(script, ScriptCopyRight, CurrentYear());
  return script;
}

// Closes a finished script and makes it executable.
static void FinishScript(FILE *script, const char *path)
{
  fclose(script);
  SysCmd(CMD_CHMOD, SYSCMD_QUIET, "755 %s", path);
}

bool generateNorvoPrintnpxxScript(const char *path, const char *shellLine, const char *tmpl)
{
  FILE *script = StartScript(path, shellLine);
  if (!script)
    return false;
  // The tool infix of the BSD, V5 and CUPS branches and the BSD log name.
  fprintf(script, tmpl, pAppDir, szProductDir, "nprintnpxx", "nprintnpxx", szProductDir,
          szProductDir);
  FinishScript(script, path);
  return true;
}

bool generateNorvoNSFScript(const char *path, const char *shellLine, const char *tmpl,
                            const char *jobSpoolDir)
{
  FILE *script = StartScript(path, shellLine);
  if (!script)
    return false;
  fprintf(script, tmpl, pAppDir, jobSpoolDir);
  FinishScript(script, path);
  return true;
}

void GenSimpleScript(const char *path, const char *shellLine, const char *tmpl, const char *dir,
                     const char *toolDir, const char *toolName)
{
  FILE *script = OpenFile(nullptr, path, "w+", LEVEL_WARNING);
  if (!script)
    return;
  char banner[sizeof ScriptCopyRight + 16];
  snprintf(banner, sizeof banner, ScriptCopyRight, CurrentYear());
  fprintf(script, "%s\n%s", shellLine, banner);
  fprintf(script, tmpl, dir, toolDir, toolName);
  FinishScript(script, path);
}

bool createPrintingSubsystemFile(const char *appDir)
{
  const char *subsystem = " BSD ";
  if (SniffLprng())
    subsystem = " LPRng ";
  if (SniffCUPS())  // a running CUPS scheduler wins over an installed LPRng
    subsystem = " CUPS ";
  char *path = SaveStr("%s/.np_cfg", appDir);
  int written = CreateTextFile(path, "wt", 0644, "%s", subsystem);
  PutMem(path);
  return written != 0;
}

// Removes a symbolic link left at path (by an earlier installation, possibly
// dangling) so that a new link can take its place. Anything else is kept.
static void RemoveOldLink(const char *path)
{
  if (GetFileType(path) == FILE_TYPE_LINK)
    SysCmd(CMD_RM, SYSCMD_FATAL, "%s", path);
}

void createInstallationDirectories(const char *base)
{
  if (strcmp(base, szDefaultBase) == 0) {
    CreateFile(pAppDir, nullptr, "755", nullptr, nullptr);
    return;
  }
  char *appDir = SaveStr("%s/%s/%s", base, szMakerDir, szProductDir);
  CreateFile(appDir, nullptr, "775", nullptr, nullptr);
  char *makerDir = SaveStr("/usr/%s", szMakerDir);
  if (GetFileType(makerDir) == FILE_TYPE_NONE)
    CreateFile(makerDir, nullptr, "775", nullptr, nullptr);
  // A fresh installation found no installation through the well-known
  // link; a link still there points nowhere and is replaced.
  char *wellKnown = SaveStr("%s/%s", makerDir, szProductDir);
  RemoveOldLink(wellKnown);
  SysCmd(CMD_LN, SYSCMD_FATAL, "-s %s/%s/%s %s/%s/%s", base, szMakerDir, szProductDir, "/usr",
         szMakerDir, szProductDir);
  PutMem(wellKnown);
  PutMem(makerDir);
  PutMem(appDir);
}

void createQueueScripts(const char *spoolDir)
{
  char *interfacePath = SaveStr("%s/%s", pAppDir, "NorvoPrintnpxx");
  generateNorvoPrintnpxxScript(interfacePath, ScriptShShell, NorvoPrintnpxxScript);
  char *sendPath = SaveStr("%s/%s%s", pAppDir, szMakerDir, "NSF");
  char *jobSpoolDir = SaveStr("%s/%s", spoolDir, szProductDir);
  generateNorvoNSFScript(sendPath, ScriptShShell, NorvoNSFScript, jobSpoolDir);

  // Red Hat's printconf offers the filters it finds in its util directory.
  static constexpr char printconfUtil[] = "/usr/share/printconf/util";
  if (SniffLprng() && FindFile(printconfUtil, nullptr) &&
      !FindFile(printconfUtil, "NorvoPrintnpxx"))
    SysCmd(CMD_LN, SYSCMD_LOG, "-s %s/%s/%s/NorvoPrintnpxx %s/NorvoPrintnpxx", pTargetInstallDir,
           szMakerDir, szProductDir, printconfUtil);
  PutMem(jobSpoolDir);
  PutMem(sendPath);
  PutMem(interfacePath);
}
