// The file chooser through the real module: Tarv-SetDialogFilter, Tarv-SetInitialFolder,
// Tarv-GetFilePath and Tarv-GetFileName. The dialog record is observed (and the dialog's
// answer faked) through an import-table hook on GetOpenFileNameW, its texts read in the
// system's ANSI code page; the real dialog is driven from the test, headless under Wine's
// null graphics driver.
#include <windows.h>
#include <commdlg.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";
const char kIncorrectOption[] = "-001 (Incorrect option)";
const unsigned kMacRoman = 10000;  // the host's codes under the "western" table, in force after init
const std::string kAllFiles("All Files\0*.*\0", 15);

// The bytes of a double-zero list: every string with its zero, then the closing zero.
std::string DoubleZeroList(const WCHAR *list)
{
    std::wstring units;
    if (list == NULL)
        return "<NULL>";
    while (*list != 0 && units.size() < 3 * 4096) {
        size_t length = wcslen(list) + 1;
        units.append(list, length);
        list += length;
    }
    return Narrow(units + L'\0');
}

std::string Printable(const std::string &bytes)
{
    std::string text;
    for (char c : bytes)
        text += c == '\0' ? std::string("\\0") : std::string(1, c);
    return text.size() > 120 ? text.substr(0, 120) + "... (" + std::to_string(bytes.size()) + " bytes)" : text;
}

// What the plug-in handed to GetOpenFileNameW, its texts in the system's ANSI code page.
struct DialogRecord {
    int calls = 0;
    OPENFILENAMEW fields;  // the first lStructSize bytes of the record; the rest zero
    std::string filter;    // lpstrFilter as a double-zero list
    std::string title, initialFolder, fileOnEntry;
};

// How the faked dialog answers.
enum DialogAnswer {
    kAnswerCancel,           // FALSE, file buffer as it was
    kAnswerFailWithGarbage,  // FALSE after writing binary data into the file buffer
    kAnswerChoose,           // TRUE with chosenPath in the file buffer
    kAnswerReal              // the real dialog
};

DialogRecord seen;
DialogAnswer answer = kAnswerCancel;
std::string chosenPath;
BOOL(WINAPI *realGetOpenFileNameW)(LPOPENFILENAMEW) = NULL;

BOOL WINAPI FakeGetOpenFileNameW(LPOPENFILENAMEW record)
{
    seen.calls++;
    memset(&seen.fields, 0, sizeof seen.fields);
    memcpy(&seen.fields, record, record->lStructSize < sizeof seen.fields ? record->lStructSize : sizeof seen.fields);
    seen.filter = DoubleZeroList(record->lpstrFilter);
    seen.title = NarrowOrNull(record->lpstrTitle);
    seen.initialFolder = NarrowOrNull(record->lpstrInitialDir);
    seen.fileOnEntry = NarrowOrNull(record->lpstrFile);
    switch (answer) {
    case kAnswerCancel:
        return FALSE;
    case kAnswerFailWithGarbage:
        for (DWORD i = 0; i < record->nMaxFile - 1; i++)
            record->lpstrFile[i] = (WCHAR)(0x80 | (i * 37 % 127) | 1);
        record->lpstrFile[record->nMaxFile - 1] = 0;
        return FALSE;
    case kAnswerChoose:
        CopyWide(chosenPath, record->lpstrFile, record->nMaxFile);
        return TRUE;
    case kAnswerReal:
        return realGetOpenFileNameW(record);
    }
    return FALSE;
}

class FileChooserTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        seen = DialogRecord();
        answer = kAnswerCancel;
        chosenPath.clear();
        realGetOpenFileNameW = fmhost::HookImportAs(
            "comdlg32.dll", "GetOpenFileNameW", FakeGetOpenFileNameW);
        ASSERT_TRUE(realGetOpenFileNameW != NULL) << "the plug-in does not import GetOpenFileNameW";
    }

    // Shows the (faked) dialog once and returns what it received.
    DialogRecord ShowDialog(const std::string &title = std::string(), fmhost::CallResult *result = NULL)
    {
        seen = DialogRecord();
        fmhost::CallResult call = Call(kTarvGetFilePath, title);
        if (result != NULL)
            *result = call;
        EXPECT_EQ(1, seen.calls) << "the dialog was not shown exactly once";
        return seen;
    }

    std::string SetStatus(uint32_t function, const std::string &parameter)
    {
        fmhost::CallOptions options;
        options.prefillResult = true;
        fmhost::CallResult result = Call(function, parameter, options);
        EXPECT_TRUE(result.touched) << "no status written";
        return result.text;
    }
};

class FileChooserWithoutHostWindowTest : public FileChooserTest {
protected:
    FileChooserWithoutHostWindowTest() { createMainWindow_ = false; }
};

// The real dialog, driven from the test: nothing may close it behind the driver's back.
class RealFileDialogTest : public FileChooserTest {
protected:
    void SetUp() override
    {
        FileChooserTest::SetUp();
        if (HasFatalFailure())
            return;
        fmhost::SetAutoCloseModals(false);
        answer = kAnswerReal;
    }
};

}  // namespace

// The record has the documented fields; a wrong size or flag changes the dialog the host's
// users see (or makes Windows refuse it), a wrong owner lets it fall behind the host.
TEST_F(FileChooserTest, DialogRecordHasTheDocumentedFields)
{
    DialogRecord record = ShowDialog();
    const OPENFILENAMEW &f = record.fields;
    EXPECT_EQ(76u, f.lStructSize);
    EXPECT_EQ(0x1804u, f.Flags);
    EXPECT_EQ(fmhost::MainWindow(), f.hwndOwner);
    EXPECT_TRUE(fmhost::MainWindow() != NULL);
    EXPECT_EQ(NULL, f.hInstance);
    EXPECT_EQ(kAllFiles, record.filter) << Printable(record.filter);
    EXPECT_EQ(NULL, f.lpstrCustomFilter);
    EXPECT_EQ(0u, f.nMaxCustFilter);
    EXPECT_EQ(1u, f.nFilterIndex);
    EXPECT_TRUE(f.lpstrFile != NULL);
    EXPECT_EQ(4096u, f.nMaxFile);
    EXPECT_EQ("", record.fileOnEntry) << "the dialog must not propose a file";
    EXPECT_EQ(NULL, f.lpstrFileTitle);
    EXPECT_EQ(0u, f.nMaxFileTitle);
    EXPECT_TRUE(f.lpstrInitialDir != NULL) << "the initial folder is always passed";
    EXPECT_EQ("", record.initialFolder);
    EXPECT_EQ("Choose a File", record.title);
    EXPECT_EQ(NULL, f.lpstrDefExt);
    EXPECT_EQ(0, (int)f.lCustData);
    EXPECT_TRUE(f.lpfnHook == NULL);
    EXPECT_EQ(NULL, f.lpTemplateName);
}

// Without a host window the dialog is shown without an owner, not refused.
TEST_F(FileChooserWithoutHostWindowTest, DialogHasNoOwner)
{
    ASSERT_EQ(NULL, fmhost::MainWindow());
    EXPECT_EQ(NULL, ShowDialog().fields.hwndOwner);
}

// The title is used as given, characters above 127 unconverted; one longer than the buffer
// is cut to 4095 characters.
TEST_F(FileChooserTest, TitleIsUsedAsGivenAndCut)
{
    EXPECT_EQ("Pick a r\xE9sum\xE9", ShowDialog("Pick a r\xE9sum\xE9").title);
    EXPECT_EQ(std::string(4095, 't'), ShowDialog(std::string(5000, 't')).title);
}

// Every accept and reject case of the stored file-type list, with what the next dialog
// receives. Before each case another list is stored, so a list that is kept, cleared or
// left half-written shows.
TEST_F(FileChooserTest, SetDialogFilterAnswersAndStoresAsDocumented)
{
    const std::string previous = "Previous;*.prev";
    std::string oneCharacterTokens;  // 4095 bytes: "d;p;d;p;...;p", 1024 pairs
    std::string oneCharacterFilter;
    while (oneCharacterTokens.size() < 4095)
        oneCharacterTokens += oneCharacterTokens.size() % 4 == 0 ? "d;" : "p;";
    oneCharacterTokens.resize(4095);
    for (int i = 0; i < 1024; i++)
        oneCharacterFilter += std::string("d\0p\0", 4);
    oneCharacterFilter += '\0';
    std::string longTokens = std::string(300, 'D') + ";" + std::string(300, 'P');
    std::string cutTokens = std::string(249, 'D') + '\0' + std::string(249, 'P') + '\0' + '\0';
    std::string longParameter;  // 5000 bytes; the stored list is its first 4095: 682 pairs, then "A;*"
    std::string longParameterFilter;
    while (longParameter.size() < 5000)
        longParameter += "A;*.a;";
    longParameter.resize(5000);
    for (int i = 0; i < 682; i++)
        longParameterFilter += std::string("A\0*.a\0", 6);
    longParameterFilter += std::string("A\0*\0\0", 5);

    const struct {
        std::string list;
        const char *status;
        std::string filter;  // what the next dialog receives
    } cases[] = {
        {"", kOk, kAllFiles},
        {"Text files;*.txt", kOk, std::string("Text files\0*.txt\0\0", 18)},
        {"Text files;*.txt;Word files;*.doc", kOk, std::string("Text files\0*.txt\0Word files\0*.doc\0\0", 35)},
        {"Text files;*.txt;;Word files", kOk, std::string("Text files\0*.txt\0\0", 18)},
        {"Text files;*.txt;", kOk, std::string("Text files\0*.txt\0\0", 18)},
        {"  Text files ;  *.txt", kOk, std::string("Text files \0*.txt\0\0", 19)},
        {"   ", kOk, std::string("\0", 1)},
        {";Text files;*.txt", kOk, std::string("\0", 1)},
        {"Text files", kIncorrectOption, kAllFiles},
        {"Text files;", kIncorrectOption, kAllFiles},
        {"Text files;*.txt;Word files", kIncorrectOption, kAllFiles},
        {"Text files;;*.txt", kIncorrectOption, kAllFiles},
        {oneCharacterTokens, kOk, oneCharacterFilter},
        {longTokens, kOk, cutTokens},
        {longTokens + ";" + std::string(300, 'D'), kIncorrectOption, kAllFiles},
        {longParameter, kOk, longParameterFilter},
        {std::string(5000, 'x'), kIncorrectOption, kAllFiles},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Printable(c.list));
        ASSERT_EQ(kOk, SetStatus(kTarvSetDialogFilter, previous));
        EXPECT_EQ(c.status, SetStatus(kTarvSetDialogFilter, c.list));
        DialogRecord record = ShowDialog();
        EXPECT_EQ(c.filter, record.filter) << Printable(record.filter);
        EXPECT_EQ(1u, record.fields.nFilterIndex);
    }
}

// Every accept and reject case of the stored initial folder, with what the next dialog
// receives: the name stored exactly as given (no conversion, no trimming), as Windows resolves
// it when the dialog opens, and nothing where it has grown too long for the dialog since.
TEST_F(FileChooserTest, SetInitialFolderAnswersAndStoresAsDocumented)
{
    const std::string scratch = TestScratchFolder();
    const std::string file = scratch + "\\report.txt";
    const std::string western = scratch + "\\r\xE9sum\xE9";  // in Windows codes
    ASSERT_TRUE(MakeFile(file));
    ASSERT_TRUE(CreateDirectoryA(western.c_str(), NULL));
    const std::string previous = "C:\\windows";
    // The current folder in which "rel" resolves to 258 units, one more than the dialog takes.
    const std::string deep = scratch + "\\" + std::string(258 - 4 - scratch.size() - 1, 'd');
    ASSERT_TRUE(CreateDirectoryA((scratch + "\\rel").c_str(), NULL) && CreateDirectoryA(deep.c_str(), NULL));

    const struct {
        std::string folder;
        const char *status;
        std::string stored;  // what the next dialog starts in
        std::string currentAtDialog{};  // the current folder when it opens; empty: scratch
    } cases[] = {
        {"rel", kOk, scratch + "\\rel"},  // read from the current folder when the dialog opens
        {"rel", kOk, "", deep},
        {scratch, kOk, scratch},
        {scratch + "\\", kOk, scratch + "\\"},
        {file, kOk, file},               // a file's name is accepted too
        {western, kOk, western},
        {"", kOk, ""},
        {scratch + "\\missing", kIncorrectOption, ""},
        {scratch + "\\r\x8Esum\x8E", kIncorrectOption, ""},  // host codes of the same name: not converted
        {"C:\\" + std::string(4997, 'x'), kIncorrectOption, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Printable(c.folder));
        ASSERT_EQ(kOk, SetStatus(kTarvSetInitialFolder, previous));
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
        EXPECT_EQ(c.status, SetStatus(kTarvSetInitialFolder, c.folder));
        ASSERT_TRUE(SetCurrentDirectoryA((c.currentAtDialog.empty() ? scratch : c.currentAtDialog).c_str()));
        EXPECT_EQ(c.stored, ShowDialog().initialFolder);
    }
}

// The folder is tested only when it is set: one removed afterwards is still passed.
TEST_F(FileChooserTest, InitialFolderRemovedLaterIsStillPassed)
{
    const std::string folder = TestScratchFolder() + "\\gone";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_EQ(kOk, SetStatus(kTarvSetInitialFolder, folder));
    ASSERT_TRUE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(folder, ShowDialog().initialFolder);
    EXPECT_EQ(folder, ShowDialog().initialFolder) << "nothing else may change it between dialogs";
}

// A cancelled dialog writes the empty text, not a status and not nothing.
TEST_F(FileChooserTest, CancelWritesTheEmptyText)
{
    answer = kAnswerCancel;
    fmhost::CallOptions options;
    options.prefillResult = true;
    fmhost::CallResult result = Call(kTarvGetFilePath, "", options);
    EXPECT_EQ(1, seen.calls);
    EXPECT_TRUE(result.touched);
    EXPECT_EQ("", result.text);
}

// A failed dialog that leaves binary data in the file buffer still gives the empty text:
// the garbage must never reach the script as a path.
TEST_F(FileChooserTest, FailedDialogGivesTheEmptyTextWhateverItLeftInTheBuffer)
{
    answer = kAnswerFailWithGarbage;
    fmhost::CallOptions options;
    options.prefillResult = true;
    fmhost::CallResult result = Call(kTarvGetFilePath, "", options);
    EXPECT_EQ(1, seen.calls);
    EXPECT_TRUE(result.touched);
    EXPECT_EQ("", result.text) << result.text.size() << " bytes came back";
}

// The chosen path comes back in host codes under the table in force; with no table
// ("english") it comes back as the dialog gave it.
TEST_F(FileChooserTest, ChosenPathComesBackInHostCodes)
{
    answer = kAnswerChoose;
    chosenPath = "C:\\Data\\r\xE9sum\xE9 \xFC.txt";  // Windows codes
    EXPECT_EQ(fmhost::Utf8ToHost("C:\\Data\\r\xC3\xA9sum\xC3\xA9 \xC3\xBC.txt", kMacRoman),
              CallText(kTarvGetFilePath));
    ASSERT_EQ(kOk, SetStatus(kTarvSetLocale, "english"));
    EXPECT_EQ(chosenPath, CallText(kTarvGetFilePath));
}

// Tarv-GetFileName over its cases: only the last backslash after the first character
// separates, nothing is converted, and a result is always written.
TEST_F(FileChooserTest, GetFileNameTakesThePartAfterTheLastBackslash)
{
    const std::string longPath = "C:\\" + std::string(280, 'd') + "\\" + std::string(16, 'n');
    const struct {
        std::string path;
        std::string name;
    } cases[] = {
        {"D:\\Data\\report.txt", "report.txt"},
        {"report.txt", "report.txt"},
        {"D:\\Data\\", ""},
        {"\\", "\\"},
        {"\\report.txt", "\\report.txt"},
        {"D:/Data/report.txt", "D:/Data/report.txt"},
        {"", ""},
        {longPath, std::string(16, 'n')},
        {"D:\\Data\\r\x8Esum\x8E.txt", "r\x8Esum\x8E.txt"},  // host codes stay host codes
        {std::string(5000, 'a'), std::string(4095, 'a')},
        {std::string(4500, 'a') + "\\tail", std::string(4095, 'a')},  // the cut drops the backslash
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Printable(c.path));
        fmhost::CallOptions options;
        options.prefillResult = true;
        fmhost::CallResult result = Call(kTarvGetFileName, c.path, options);
        EXPECT_TRUE(result.touched);
        EXPECT_EQ(c.name, result.text);
    }
    EXPECT_EQ(0, seen.calls) << "Tarv-GetFileName must not show a dialog";
}

// The real dialog: it shows the title, the stored types with the first selected and the
// stored folder, is owned by the host window, and returns the picked file's full path.
TEST_F(RealFileDialogTest, PickingAFileReturnsItsFullPath)
{
    const std::string folder = TestScratchFolder();
    const std::string file = folder + "\\report.txt";
    ASSERT_TRUE(MakeFile(file));
    ASSERT_EQ(kOk, SetStatus(kTarvSetDialogFilter, "Text files;*.txt;All;*.*"));
    ASSERT_EQ(kOk, SetStatus(kTarvSetInitialFolder, folder));

    std::vector<std::string> types;
    int selectedType = -2;
    std::string lookIn;
    bool pressed = false;
    DialogDriver driver({
        [&](HWND dialog) {
            types = FileTypeNames(dialog);
            selectedType = SelectedFileType(dialog);
            lookIn = ControlText(dialog, kLookInList);
            TypeFileName(dialog, file);
        },
        [&](HWND dialog) { pressed = PressButton(dialog, IDOK); },
    });
    fmhost::CallResult result = Call(kTarvGetFilePath, "Pick a report");
    ASSERT_TRUE(driver.Seen()) << "the dialog never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ("Pick a report", driver.Caption());
    EXPECT_EQ(fmhost::MainWindow(), driver.Owner());
    EXPECT_EQ(std::vector<std::string>({"Text files", "All"}), types);
    EXPECT_EQ(0, selectedType);
    EXPECT_EQ(folder.substr(folder.rfind('\\') + 1), lookIn);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(file, result.text);
}

// A file whose name holds characters above 127 comes back in host codes.
TEST_F(RealFileDialogTest, PickedPathWithWesternCharactersComesBackInHostCodes)
{
    const std::string folder = TestScratchFolder();
    const std::string name = "r\xE9sum\xE9 \xFC.txt";  // Windows codes
    ASSERT_TRUE(MakeFile(folder + "\\" + name));
    ASSERT_EQ(kOk, SetStatus(kTarvSetInitialFolder, folder));
    DialogDriver driver({
        [&](HWND dialog) { TypeFileName(dialog, name); },  // relative to the initial folder
        [&](HWND dialog) { PressButton(dialog, IDOK); },
    });
    fmhost::CallResult result = Call(kTarvGetFilePath, "");
    ASSERT_TRUE(driver.Seen()) << "the dialog never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ("Choose a File", driver.Caption());
    std::string expected = folder + "\\r\x8Esum\x8E \x9F.txt";  // é 0x8E, ü 0x9F in host codes
    EXPECT_EQ(expected, result.text);
}

// Cancelling the real dialog writes the empty text.
TEST_F(RealFileDialogTest, CancellingWritesTheEmptyText)
{
    bool pressed = false;
    DialogDriver driver({[&](HWND dialog) { pressed = PressButton(dialog, IDCANCEL); }});
    fmhost::CallOptions options;
    options.prefillResult = true;
    fmhost::CallResult result = Call(kTarvGetFilePath, "", options);
    ASSERT_TRUE(driver.Seen()) << "the dialog never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(result.touched);
    EXPECT_EQ("", result.text);
}

// A list of blanks only is stored and gives a dialog that offers no file types at all.
TEST_F(RealFileDialogTest, BlankListOffersNoFileTypes)
{
    ASSERT_EQ(kOk, SetStatus(kTarvSetDialogFilter, "   "));
    std::vector<std::string> types(1, "<not read>");
    DialogDriver driver({[&](HWND dialog) {
        types = FileTypeNames(dialog);
        PressButton(dialog, IDCANCEL);
    }});
    Call(kTarvGetFilePath, "");
    ASSERT_TRUE(driver.Seen()) << "the dialog never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_TRUE(types.empty()) << types.size() << " types, the first \"" << types[0] << "\"";
}
