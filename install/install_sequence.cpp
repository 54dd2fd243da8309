// The install sequence: a short driver over the steps, reporting each as a line and a
// progress position, stopping at the first step that fails.
#include "install/install_sequence.h"

#include "install/install_steps.h"
#include "install/journal.h"
#include "run/folders.h"
#include "run/install_layout.h"
#include "support/bounded_text.h"
#include "support/path.h"

namespace {

const wchar_t kFailureLine[] = L"安装程序发生错误，所做操作已经撤销!";

void ReportDeferred(InstallContext& context, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        wchar_t line[kPathChars + 32];
        FormatCut(line, kPathChars + 32, L"%s%s", kUndoAtRestartLine, path.c_str());
        ReportProgress(context, -1, line);
        context.restartNeeded = 1;
    }
}

// Lends the sequence a journal for its run, and takes it back.
class JournalScope {
public:
    explicit JournalScope(InstallContext& context) : m_context(context), m_before(context.journal) {
        if (m_own.Begin(PackageOf(context).name, context.installFolder)) context.journal = &m_own;
    }
    ~JournalScope() { m_context.journal = m_before; }
    bool Ready() const { return m_own.Active(); }
    // The end of a step: what it changed is on the disk before the next one starts.
    bool StepDone() { return m_own.Flush(); }
    // Undoes what the run changed; the paths that wait for the next restart.
    std::vector<std::wstring> Undo() { return m_own.Undo(); }
    void Succeeded() { m_own.Finish(); }

private:
    InstallContext& m_context;
    ChangeRecorder* m_before;
    InstallJournal m_own;
};

// Undoes what the run changed, then says so: the failure line is true when it is shown.
int Fail(InstallContext& context, JournalScope& journal) {
    ReportDeferred(context, journal.Undo());
    ReportProgress(context, -1, kFailureLine);
    RemoveTemporaryFiles(context);
    return 0;
}

}  // namespace

void FinishLeftJournals(InstallContext& context, const wchar_t* packageName) {
    const LeftJournals left = UndoLeftJournals(packageName);
    for (int i = 0; i < left.undone; ++i) ReportProgress(context, -1, kLeftJournalUndoneLine);
    ReportDeferred(context, left.deferred);
    for (const std::wstring& folder : left.refused) {
        wchar_t line[kPathChars + 32];
        FormatCut(line, kPathChars + 32, L"%s%s", kLeftJournalRefusedLine, folder.c_str());
        ReportProgress(context, -1, line);
    }
}

void RemoveTemporaryFiles(InstallContext& context) {
    wchar_t path[kPathChars];
    JoinPath(path, context.installFolder, kPackageRecordFile);
    DeleteFileW(path);
    RemoveFolder(context.runState.workFolder);  // the folder stays while the working copy runs from it
    RemoveVirtualizedData();
}

int RunInstall(InstallContext& context, const wchar_t* installFolder, const wchar_t* userName,
               const wchar_t* companyName) {
    ReportProgress(context, 0, L"验证安装信息....");
    CopyCut(context.installFolder, installFolder);
    // A folder of 259 characters has no room for its backslash; its paths are cut later.
    const size_t length = wcslen(context.installFolder);
    if (length + 1 < kPathChars && (length == 0 || context.installFolder[length - 1] != L'\\')) {
        context.installFolder[length] = L'\\';
        context.installFolder[length + 1] = 0;
    }
    // A run of this package that was killed left its changes half made: they go first.
    FinishLeftJournals(context, PackageOf(context).name);
    JournalScope journal(context);
    if (!journal.Ready()) {
        // Nothing has been changed, and nothing will be: a run that could not be undone
        // does not start.
        ReportProgress(context, -1, kNoJournalLine);
        ReportProgress(context, -1, kFailureLine);
        RemoveTemporaryFiles(context);
        return 0;
    }
    ReportProgress(context, 1, L"开始安装....");

    ReportProgress(context, 2, L"  1.创建文件系统....");
    if (!PlaceFiles(context) || !journal.StepDone()) return Fail(context, journal);
    ReportProgress(context, 40, L"    安装1.完成");

    ReportProgress(context, 42, L"  2.设置软件运行环境...");
    // The recorded folder does not stop an install when it cannot be written: the input
    // method works without it, and the uninstall then refuses to delete anything.
    WriteInstallPath(context);
    if (!RegisterIme(context) || !journal.StepDone()) return Fail(context, journal);
    ReportProgress(context, 50, L"    安装2.完成");

    ReportProgress(context, 72, L"  3.写入卸载信息...");
    if (!WriteUninstallEntry(userName, companyName, context) || !journal.StepDone()) return Fail(context, journal);
    ReportProgress(context, 80, L"    安装3.完成");

    ReportProgress(context, 82, L"  4.备份安装数据...");
    if (!BackupPayload(context) || !journal.StepDone()) return Fail(context, journal);
    ReportProgress(context, 90, L"    安装4.完成");

    ReportProgress(context, -1, L"  5.创建开始菜单及桌面快捷方式...");
    if (!CreateShortcuts(context) || !journal.StepDone()) return Fail(context, journal);
    ReportProgress(context, 90, L"    安装5.完成");

    ReportProgress(context, 95, L"  6.清除安装程序创建的临时文件...");
    RemoveTemporaryFiles(context);
    journal.Succeeded();
    ReportProgress(context, 100, context.restartNeeded ? L"安装程序已经完成所有工作,但部分设置在重新启动以后方能生效!"
                                                       : L"安装程序已经完成所有工作!");
    return 1;
}
