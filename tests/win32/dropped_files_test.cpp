// Files dropped on the real main dialog in this process: WM_DROPFILES with a real HDROP, as the
// shell makes it. The program's folder is made a temporary one holding the fake tool under the
// tools' names, so the order of the runs shows in the log, and each tool records its command
// lines; message boxes are caught at the call with the log as it stood then.
#include "commands/command_lines.h"
#include "dialog_fixture.h"

#include "gui_driver.h"
#include "import_hook.h"
#include "test_files.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The replaced functions are reached through these: a call by name would come back to the hook.
decltype(&GetModuleFileNameA) g_moduleFileName;
decltype(&DragFinish) g_dragFinish;

std::string g_programFile; // what GetModuleFileNameA says of this program while hooked

DWORD WINAPI ModuleFileNameInFolder(HMODULE module, LPSTR name, DWORD size) {
    if (module != nullptr && module != GetModuleHandleA(nullptr))
        return g_moduleFileName(module, name, size);
    lstrcpynA(name, g_programFile.c_str(), static_cast<int>(size));
    return static_cast<DWORD>(g_programFile.size());
}

struct BoxSeen {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    std::string logThen;
};
std::vector<BoxSeen> g_boxes;
size_t g_noteSize; // the usage note's length, which starts every log

// The log after the usage note: what the runs added.
std::string LogOf(HWND dialog) {
    HWND log = GetDlgItem(dialog, IDC_LOG);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(log)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(log, &text[0], static_cast<int>(text.size()))));
    return text.substr(std::min(g_noteSize, text.size()));
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    g_boxes.push_back({owner, text, caption, style, LogOf(owner)});
    return IDOK;
}

int g_dragFinishes = 0;
void WINAPI CountDragFinish(HDROP drop) {
    ++g_dragFinishes;
    g_dragFinish(drop);
}

// A drop as the shell hands it over: DROPFILES, then the ANSI paths, each ended by a NUL, and
// one more NUL after the last.
HDROP MakeDrop(const std::vector<std::string>& paths) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        size += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, size);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    char* list = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
    for (const std::string& path : paths) {
        std::memcpy(list, path.c_str(), path.size() + 1);
        list += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

enum class Happens { Impdef, ImpdefNamesOnly, Lib, Unsupported, LibMissing };
struct Step {
    Happens what;
    const char* name; // the dropped file's name in the drop folder
    const char* def;  // for the definition tool: the .def it is told to write
};
struct DropCase {
    const char* what;
    std::vector<const char*> dropped; // names in the drop folder; a final backslash: a folder
    bool namesOnly;
    bool libThere;
    std::vector<Step> steps; // what must happen, in this order
};

const std::string kImpdefSays = "qen_impdef ran";
const std::string kLibSays = "Lib ran";
const char kUnsupportedText[] =
    "\n\nMorvane 只接受 DLL（*.dll、*.ocx、*.drv、*.cpl、*.exe）和模块定义文件（*.def）。";

// The drop folder's name holds 乗 (81 5C), whose second byte is a backslash, and a space.
const DropCase kDrops[] = {
    {"one DLL", {"我的 库.dll"}, false, true, {{Happens::Impdef, "我的 库.dll", "我的 库.def"}}},
    {"one .def", {"a b.DEF"}, false, true, {{Happens::Lib, "a b.DEF", nullptr}}},
    {"three files, one of them not taken",
     {"乗.dll", "说明.txt", "乗 b.def"},
     false,
     true,
     {{Happens::Impdef, "乗.dll", "乗.def"},
      {Happens::Unsupported, "说明.txt", nullptr},
      {Happens::Lib, "乗 b.def", nullptr}}},
    {"other PE files with names only, and a folder",
     {"x.OCX", "目录.dll\\", "y.cpl"},
     true,
     true,
     {{Happens::ImpdefNamesOnly, "x.OCX", "x.def"},
      {Happens::Unsupported, "目录.dll", nullptr},
      {Happens::ImpdefNamesOnly, "y.cpl", "y.def"}}},
    {"Lib missing",
     {"a.def", "b.drv"},
     false,
     false,
     {{Happens::LibMissing, "a.def", nullptr}, {Happens::Impdef, "b.drv", "b.def"}}},
};

// What the case must leave: the log after the note, each tool's recorded command lines, the
// message boxes and the two path boxes.
struct Outcome {
    std::string log;
    std::string impdefLines;
    std::string libLines;
    std::vector<BoxSeen> boxes;
    std::string dllPath;
    std::string defPath;
};

Outcome Expected(const DropCase& c, HWND dialog, const std::string& tools,
                 const std::string& files) {
    Outcome out{"", "", "", {}, "", ""};
    const std::string impdef = "\"" + tools + "\\qen_impdef.exe\" \"";
    for (const Step& step : c.steps) {
        const std::string path = files + "\\" + step.name;
        if (step.what == Happens::Impdef || step.what == Happens::ImpdefNamesOnly) {
            const char* namesOnly = step.what == Happens::ImpdefNamesOnly ? " -c" : "";
            out.impdefLines +=
                impdef + path + "\"" + namesOnly + " -o \"" + files + "\\" + step.def + "\"\n";
            out.log += "\r\n\r\n" + kImpdefSays;
            out.dllPath = path;
        } else if (step.what == Happens::Lib) {
            out.libLines +=
                "\"" + tools + "\\Lib.exe\" /DEF:\"" + path + "\" " + kLibMachineOption + "\n";
            out.log += "\r\n\r\n" + kLibSays;
            out.defPath = path;
        } else if (step.what == Happens::Unsupported) {
            out.boxes.push_back(
                {dialog, path + kUnsupportedText, "不支持的文件", MB_OK | MB_ICONWARNING, out.log});
        } else {
            out.boxes.push_back({dialog, "Lib工具在同目录下没找到!", "Exefile not found",
                                 MB_OK | MB_ICONWARNING, out.log});
        }
    }
    return out;
}

void ExpectSameBoxes(const std::vector<BoxSeen>& seen, const std::vector<BoxSeen>& expected,
                     const char* what) {
    ASSERT_EQ(seen.size(), expected.size()) << what;
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].owner, expected[i].owner) << what << " box " << i;
        EXPECT_EQ(seen[i].text, expected[i].text) << what << " box " << i;
        EXPECT_EQ(seen[i].caption, expected[i].caption) << what << " box " << i;
        EXPECT_EQ(seen[i].style, expected[i].style) << what << " box " << i;
        EXPECT_EQ(seen[i].logThen, expected[i].logThen) << what << " box " << i;
    }
}

TEST(DroppedFiles, EachRunsAsItsButtonWouldInTheOrderDroppedAndOthersGetABox) {
    InitCommonControls();
    LoadProgramGlobals();
    const std::string fake = FakeToolPath();
    ImportHook moduleName("kernel32.dll", "GetModuleFileNameA",
                          reinterpret_cast<void*>(ModuleFileNameInFolder));
    ImportHook boxes("user32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordMessageBox));
    ImportHook dragFinish("shell32.dll", "DragFinish", reinterpret_cast<void*>(CountDragFinish));
    ASSERT_NE(moduleName.slot, nullptr);
    ASSERT_NE(boxes.slot, nullptr);
    ASSERT_NE(dragFinish.slot, nullptr);
    g_moduleFileName = reinterpret_cast<decltype(&GetModuleFileNameA)>(moduleName.original);
    g_dragFinish = reinterpret_cast<decltype(&DragFinish)>(dragFinish.original);
    for (const DropCase& c : kDrops) {
        const std::string tools = NewTempFolder("工具 目录");
        const std::string files = NewTempFolder("拖放乗 文件");
        g_programFile = tools + "\\Morvane.exe";
        ASSERT_TRUE(CopyTo(fake, tools + "\\qen_impdef.exe"));
        WriteWholeFile(tools + "\\qen_impdef.exe.out", kImpdefSays + "\n");
        if (c.libThere) {
            ASSERT_TRUE(CopyTo(fake, tools + "\\Lib.exe"));
            WriteWholeFile(tools + "\\Lib.exe.out", kLibSays + "\n");
        }
        std::vector<std::string> paths;
        for (std::string name : c.dropped) {
            paths.push_back(files + "\\" + name);
            if (name.back() == '\\') {
                paths.back().pop_back();
                CreateDirectoryA(paths.back().c_str(), nullptr);
            } else {
                WriteWholeFile(paths.back(), "MZ");
            }
        }
        HWND dialog =
            CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
        ASSERT_NE(dialog, nullptr);
        CheckDlgButton(dialog, IDC_NAMES_ONLY, c.namesOnly ? BST_CHECKED : BST_UNCHECKED);
        g_noteSize = 0;
        g_noteSize = LogOf(dialog).size();
        ASSERT_GT(g_noteSize, 0u);
        const Outcome expected = Expected(c, dialog, tools, files);
        g_boxes.clear();
        g_dragFinishes = 0;

        EXPECT_EQ(SendMessageA(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0),
                  0);
        EXPECT_EQ(g_dragFinishes, 1) << c.what;
        EXPECT_EQ(LogOf(dialog), expected.log) << c.what;
        EXPECT_EQ(ReadWholeFile(tools + "\\qen_impdef.exe.cmdline"), expected.impdefLines)
            << c.what;
        EXPECT_EQ(ReadWholeFile(tools + "\\Lib.exe.cmdline"), expected.libLines) << c.what;
        ExpectSameBoxes(g_boxes, expected.boxes, c.what);
        char text[MAX_PATH] = {};
        GetDlgItemTextA(dialog, IDC_DLL_PATH, text, MAX_PATH);
        EXPECT_EQ(text, expected.dllPath) << c.what;
        GetDlgItemTextA(dialog, IDC_DEF_PATH, text, MAX_PATH);
        EXPECT_EQ(text, expected.defPath) << c.what;
        DestroyWindow(dialog);
        RemoveProgramFolder(tools);
        RemoveProgramFolder(files);
    }
    LoadProgramGlobals();
}

// The dialog says it takes files: the shell sends drops only to windows that do.
TEST_F(OpenDialog, AcceptsDroppedFiles) {
    EXPECT_TRUE(GetWindowLongPtrA(dialog_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

} // namespace
