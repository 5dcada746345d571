// printerdemo: a small printer-setup dialogue built with the text-menu toolkit.
//
// usage: printerdemo [-s FILE] [-n] [-x]
//   -s FILE  start from the answers stored in FILE (key s of the menu stores them)
//   -n       do not ask: load FILE (with -s) and print the settings that result
//   -x       key s stores the answers in ./.settings and ends the program
//
// It shows every kind of menu item: text lines, a row group and a column
// group, numbered and key-letter actions, sub-menus (one chosen by a
// condition list), pick-one items whose state formats grey, hide and set
// other items, a pick-many item with a full-screen page of its own, text,
// integer and float entries with validation, and a pass phrase. The message
// catalogs are found from the program's own location, so it runs from the
// build tree and installed, from any working directory.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nls/NlsUtils.h"
#include "textmenu/TextMenu.h"
#include "utils/utils.h"

namespace {

constexpr char kUsage[] = "usage: printerdemo [-s FILE] [-n] [-x]\n";

// The answers live in the menu records below; these are the demo's own words.
int PassPhraseLength = 0;        // characters of the pass phrase set, 0 for none
bool flLoadingSettings = false;  // RunMenu is reading the -s file
bool flSettingsMissing = false;  // that file could not be read

// Choice texts are rewritten in place when a state format hides or shows
// one, so they live in writable arrays.
char ConnectionChoices[] = "_Parallel port,_Serial line,_Network (TCP/IP),_USB";
char PaperChoices[] = "_Letter,_Legal,_A4,_A5,_Executive";
char ResolutionChoices[] = "_300 dpi,_600 dpi,_1200 dpi";
char BaudChoices[] = "_9600,_19200,_38400,_57600,_115200";
char ParityChoices[] = "_none,_even,_odd";
char ProtocolChoices[] = "_RAW (port 9100),_LPD (port 515),_IPP (port 631)";
char TrayChoices[] =
    "_Tray 1: upper cassette (250 sheets),_Tray 2: lower cassette (500 sheets),"
    "_Tray 3: high-capacity feeder (1500 sheets),_Tray 4: envelope feeder,"
    "_Tray 5: manual feed slot,_Tray 6: multi-purpose tray,_Tray 7: label stock roll,"
    "_Tray 8: transparency feeder,_Tray 9: card stock tray,_Tray 10: photo paper tray,"
    "_Tray 11: optional cassette A,_Tray 12: optional cassette B,"
    "_Tray 13: optional cassette C,_Tray 14: optional cassette D,"
    "_Tray 15: external stacker input,_Tray 16: booklet maker input,"
    "_Tray 17: inserter (front covers),_Tray 18: inserter (back covers),"
    "_Tray 19: tab stock feeder,_Tray 20: continuous forms tractor,"
    "_Tray 21: left side deck,_Tray 22: right side deck,_Tray 23: bypass tray,"
    "_Tray 24: duplex return path,_Tray 25: banner paper guide";

intptr_t FloatWord(float f)
{
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return static_cast<intptr_t>(bits);
}

float FloatOf(intptr_t word)
{
  uint32_t bits = static_cast<uint32_t>(word);
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

const char *TextOf(const TextMenuItem &item)
{
  const char *text = reinterpret_cast<const char *>(item.Value);
  return text != nullptr ? text : "";
}

intptr_t TestPage(TextMenu *, TextMenuItem *);
intptr_t SetPassPhrase(TextMenu *, TextMenuItem *);
intptr_t ApplyAndLeave(TextMenu *, TextMenuItem *);
intptr_t QuitWithoutApplying(TextMenu *, TextMenuItem *);
intptr_t ApplySettings(TextMenu *menu);
intptr_t KeepAnswers(TextMenu *menu);
intptr_t KeepAnswersItem(TextMenu *menu, TextMenuItem *);

extern TextMenu TopMenu;
extern TextMenu SerialMenu;

// Item of a menu table: label, type, state, prompt, choices, default, format.
constexpr TextMenuItem Item(const char *label, int32_t type, const char *prompt = nullptr,
                            char *choices = nullptr, intptr_t def = 0, const char *format = nullptr,
                            MenuActionFn action = nullptr)
{
  TextMenuItem it{};
  it.pLabel = label;
  it.Type = type;
  it.pPrompt = prompt;
  it.pChoices = choices;
  it.Default = def;
  it.pFormat = format;
  it.pfnAction = action;
  it.SavedValue = -1;
  return it;
}

// ---- The serial line (a plain sub-menu) ------------------------------------
TextMenuItem SerialItems[] = {
    Item("Line speed", ITEM_PICK_ONE, nullptr, BaudChoices, 0),
    Item("Parity", ITEM_PICK_ONE, nullptr, ParityChoices, 0),
    Item("Character delay (ms)", ITEM_FLOAT, "Delay in milliseconds (0 to 50)", nullptr, 0,
         "f(0,50)"),
    Item("~k Keep these answers", ITEM_APPLY, nullptr, nullptr, 0, nullptr, KeepAnswersItem),
    Item("~b Back, forgetting changes", ITEM_ACTION_LEAVE),
    Item(nullptr, 0),
};
TextMenu SerialMenu = {"Serial line", MENU_ALIGN_LEFT, nullptr,     KeepAnswers,          nullptr,
                       &TopMenu,      nullptr,         SerialItems, MENU_FL_SINGLE_SPACED};

// ---- Network and USB (chosen by a condition list) --------------------------
TextMenuItem NetworkItems[] = {
    Item("Host name", ITEM_NAME, "Host name of the print server", nullptr,
         reinterpret_cast<intptr_t>("printhost"), "A(1,32)+-+."),
    Item("Protocol", ITEM_PICK_ONE, nullptr, ProtocolChoices, 0),
    Item("Time-out (s)", ITEM_INT, "Seconds to wait for the server (1 to 300)", nullptr, 30,
         "d(1,300)"),
    Item("~k Keep these answers", ITEM_APPLY, nullptr, nullptr, 0, nullptr, KeepAnswersItem),
    Item(nullptr, 0),
};
TextMenu NetworkMenu = {"Network connection",
                        MENU_ALIGN_LEFT,
                        nullptr,
                        KeepAnswers,
                        nullptr,
                        &TopMenu,
                        nullptr,
                        NetworkItems,
                        0};

TextMenuItem UsbItems[] = {
    Item("Device file", ITEM_STRING, "Device file of the printer", nullptr,
         reinterpret_cast<intptr_t>("/dev/usb/lp0"), "/A(1,64)+/+_"),
    Item("~k Keep these answers", ITEM_APPLY, nullptr, nullptr, 0, nullptr, KeepAnswersItem),
    Item(nullptr, 0),
};
TextMenu UsbMenu = {"USB connection", MENU_ALIGN_LEFT, nullptr, KeepAnswers, nullptr, &TopMenu,
                    nullptr,          UsbItems,        0};

// One sub-menu per condition word of the item's format.
TextMenu *ConnectionMenus[] = {&NetworkMenu, &UsbMenu};

// ---- The printer (top menu) -------------------------------------------------
// Item indices used by the state formats and conditions below.
enum {
  IX_INTRO = 0,
  IX_NAME = 1,
  IX_DESCRIPTION = 2,
  IX_CONNECTION = 3,
  IX_SERIAL = 4,
  IX_CONNECTION_MENU = 5,
  IX_PORT = 6,
  IX_PAPER = 7,
  IX_RESOLUTION = 8,
  IX_TRAYS = 9,
  IX_COPIES = 10,
  IX_WIDTH = 11,
  IX_COLUMNS = 17,
};

TextMenuItem TopItems[] = {
    Item("Type a number, or a number and a value.", ITEM_TEXT),
    Item("Printer name", ITEM_NAME, "Name of the printer (letters, digits, - and _)", nullptr, 0,
         "A(1,16)+-+_"),
    Item("Description", ITEM_STRING, "A few words about the printer", nullptr,
         reinterpret_cast<intptr_t>("office printer"), "p(0,60)"),
    // Parallel greys the port number, Serial shows the serial sub-menu,
    // Network sets the port to 9100 while it is chosen.
    Item("Connection", ITEM_PICK_ONE, nullptr, ConnectionChoices, 0,
         "N0:1:3{6} H0:2:3{4} S2{6.9100}"),
    Item("Serial line", ITEM_SUBMENU),
    Item("Connection details", ITEM_SUBMENU, nullptr, nullptr, 0, "3.2 3.3"),
    Item("Port number", ITEM_INT, "TCP port (1 to 65535)", nullptr, 515, "d(1,65535)"),
    Item("Paper size", ITEM_PICK_ONE, nullptr, PaperChoices, 0),
    Item("Resolution", ITEM_PICK_ONE, nullptr, ResolutionChoices, 1),
    Item("Paper trays", ITEM_PICK_MANY, nullptr, TrayChoices, 0),
    Item("Copies", ITEM_INT, "Copies of each page (1 to 99)", nullptr, 1, "d(1,99)"),
    Item("Paper width (in)", ITEM_FLOAT, "Width in inches (1 to 20)", nullptr, 0, "f(1,20)"),
    Item("Queue of the same name", ITEM_PLAIN),
    Item("Print a test page", ITEM_ACTION, nullptr, nullptr, 0, nullptr, TestPage),
    Item("Set the pass phrase", ITEM_ACTION, nullptr, nullptr, 0, nullptr, SetPassPhrase),
    Item("", ITEM_BAR),
    Item("", ITEM_TEXT),
    Item("", ITEM_COLUMNS),
    Item("~a Apply and leave", ITEM_APPLY, nullptr, nullptr, 0, nullptr, ApplyAndLeave),
    Item("~q Quit without applying", ITEM_ACTION_EXIT, nullptr, nullptr, 0, nullptr,
         QuitWithoutApplying),
    Item(nullptr, 0),
};
TextMenu TopMenu = {"Printer Setup",
                    MENU_ALIGN_CENTRED,
                    "Apply the printer settings",
                    ApplySettings,
                    nullptr,
                    nullptr,
                    nullptr,
                    TopItems,
                    MENU_FL_HELP | MENU_FL_STORE_ASK | MENU_FL_SINGLE_SPACED};

void PrintSettings(FILE *out)
{
  TextMenuItem *t = TopItems;
  auto choice = [](const TextMenuItem &it) {
    const char *c = GetTokenN(it.pChoices, ",", static_cast<int>(it.Value) + 1);
    return std::string(c == nullptr ? "" : (c[0] == '_' || c[0] == ' ') ? c + 1 : c);
  };
  fprintf(out, "printer %s\n", TextOf(t[IX_NAME]));
  fprintf(out, "description %s\n", TextOf(t[IX_DESCRIPTION]));
  fprintf(out, "connection %s\n", choice(t[IX_CONNECTION]).c_str());
  fprintf(out, "port %d\n", static_cast<int>(t[IX_PORT].Value));
  fprintf(out, "paper %s\n", choice(t[IX_PAPER]).c_str());
  fprintf(out, "resolution %s\n", choice(t[IX_RESOLUTION]).c_str());
  fprintf(out, "trays");
  for (int k = 0; k < MENU_PICK_MANY_MAX; k++) {
    if (static_cast<uintptr_t>(t[IX_TRAYS].Value) & (uintptr_t{1} << k)) {
      fprintf(out, " %d", k + 1);
    }
  }
  fprintf(out, "\ncopies %d\n", static_cast<int>(t[IX_COPIES].Value));
  fprintf(out, "width %.3f\n", static_cast<double>(FloatOf(t[IX_WIDTH].Value)));
  fprintf(out, "serial %s %s %.3f\n", choice(SerialItems[0]).c_str(),
          choice(SerialItems[1]).c_str(), static_cast<double>(FloatOf(SerialItems[2].Value)));
  fprintf(out, "host %s protocol %s timeout %d\n", TextOf(NetworkItems[0]),
          choice(NetworkItems[1]).c_str(), static_cast<int>(NetworkItems[2].Value));
  fprintf(out, "device %s\n", TextOf(UsbItems[0]));
  fprintf(out, "passphrase %d\n", PassPhraseLength);
  fflush(out);
}

intptr_t ApplySettings(TextMenu *)
{
  printf("\nApplying the printer settings:\n");
  PrintSettings(stdout);
  return 0;
}

intptr_t TestPage(TextMenu *, TextMenuItem *)
{
  PostMsg("\nA test page for printer \"%s\" was sent to the queue.\n", TextOf(TopItems[IX_NAME]));
  return 0;
}

intptr_t SetPassPhrase(TextMenu *, TextMenuItem *)
{
  char *phrase = GetPassPhrase("Pass phrase of the printer (not shown): ");
  PassPhraseLength = static_cast<int>(strlen(phrase));
  memset(phrase, 0, strlen(phrase));
  PutMem(phrase);
  PostMsg("\nThe pass phrase has %d characters.\n", PassPhraseLength);
  return 0;
}

// A sub-menu starts from its defaults each time it runs, so the answers to
// keep become its defaults: when it is left, and when a settings file's block
// for it ends (the block end runs its ITEM_APPLY action).
intptr_t KeepAnswers(TextMenu *menu)
{
  for (TextMenuItem *it = menu->pItems; it->pLabel != nullptr; it++) {
    switch (it->Type) {
      case ITEM_PICK_ONE:
      case ITEM_INT:
      case ITEM_FLOAT: it->Default = it->Value; break;
      case ITEM_NAME:
      case ITEM_STRING:
        if (it->pUserData != nullptr && it->Value != 0) {
          snprintf(static_cast<char *>(it->pUserData), MENU_TEXT_SIZE, "%.*s", MENU_TEXT_SIZE - 1,
                   reinterpret_cast<const char *>(it->Value));
          it->Default = reinterpret_cast<intptr_t>(it->pUserData);
        }
        break;
      default: break;
    }
  }
  return 0;
}

intptr_t KeepAnswersItem(TextMenu *menu, TextMenuItem *)
{
  return KeepAnswers(menu);
}

intptr_t ApplyAndLeave(TextMenu *menu, TextMenuItem *)
{
  ApplySettings(menu);
  return 0;
}

intptr_t QuitWithoutApplying(TextMenu *, TextMenuItem *)
{
  if (flLoadingSettings) {
    // RunMenu could not read the -s file: the run starts from the defaults.
    flSettingsMissing = true;
    return 0;
  }
  printf("\nLeaving without applying the settings.\n");
  return 0;
}

// A5 cannot be printed at 300 dpi: choosing it hides that resolution.
void RefreshTop(TextMenu *)
{
  if (TopItems[IX_PAPER].Value == 3) {
    HideStateSelection(&TopItems[IX_RESOLUTION], 0);
  } else {
    ShowStateSelection(&TopItems[IX_RESOLUTION], 0);
  }
}

bool IsDirectory(const std::string &path)
{
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The catalogs: <exe dir>/share/norvo in the build tree, <exe dir>/../share/norvo installed.
void FindCatalogs()
{
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) {
    return;
  }
  exe[n] = '\0';
  std::string dir(exe);
  dir.erase(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
  std::string here = dir + "/share/norvo";
  std::string installed = dir + "/../share/norvo";
  pToolPath = SaveStr_(IsDirectory(here) ? here.c_str() : installed.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
  my_name = SaveStr_("printerdemo");
  const char *settings = nullptr;
  bool interactive = true;
  int opt;
  while ((opt = getopt(argc, argv, "s:nx")) != -1) {
    switch (opt) {
      case 's': settings = optarg; break;
      case 'n': interactive = false; break;
      case 'x': TopMenu.Flags = (TopMenu.Flags & ~MENU_FL_STORE_ASK) | MENU_FL_STORE_EXIT; break;
      default: fputs(kUsage, stderr); return 2;
    }
  }
  if (optind != argc) {
    fputs(kUsage, stderr);
    return 2;
  }
  FindCatalogs();
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  // The help pages lie in the help folder of the catalogs' directory.
  pTtyHtmlName = SaveStr("%s/help/printerdemo.html", pToolPath ? pToolPath : ".");
  pTtyHtmlTitle = "Printer Setup";
  TopItems[IX_WIDTH].Default = FloatWord(8.5f);
  TopMenu.pfnRefresh = RefreshTop;
  TopItems[IX_PAPER].pfnAction = [](TextMenu *menu, TextMenuItem *) -> intptr_t {
    RefreshTop(menu);
    return 0;
  };
  TopItems[IX_COLUMNS].Value = 2;  // the two leave actions side by side
  TopItems[IX_SERIAL].Value = reinterpret_cast<intptr_t>(&SerialMenu);
  TopItems[IX_CONNECTION_MENU].Value = reinterpret_cast<intptr_t>(ConnectionMenus);
  static char hostText[MENU_TEXT_SIZE];
  static char deviceText[MENU_TEXT_SIZE];
  NetworkItems[0].pUserData = hostText;
  UsbItems[0].pUserData = deviceText;
  // The sub-menus hold their defaults before a settings file is read into them.
  for (TextMenu *sub : {&SerialMenu, &NetworkMenu, &UsbMenu}) {
    InitMenu(sub, 0);
  }

  flLoadingSettings = settings != nullptr;
  intptr_t result = RunMenu(&TopMenu, settings, interactive);
  flLoadingSettings = false;
  if (flSettingsMissing) {
    fprintf(stderr, "printerdemo: cannot read the settings file %s\n", settings);
    if (!interactive) {
      return 1;
    }
    RunMenu(&TopMenu, nullptr, 1);
  }
  (void)result;
  return 0;
}
