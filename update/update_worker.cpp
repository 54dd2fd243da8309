// The worker thread of the update dialog: one update run, shown in the dialog's lists.
#include "support/bounded_text.h"
#include "update/update_dialog.h"

namespace {

// Nothing may leave a thread procedure: running out of memory, or a failure that the
// extractor raises, ends the step it happened in as a failed one.
template <class Step>
bool Guarded(Step step) {
    try {
        return step();
    } catch (...) {
        return false;
    }
}

void FormatVersion(VersionNumber version, wchar_t* out) {
    FormatCut(out, 40, L"%d.%d.%d.%d", static_cast<int>(version >> 48 & 0xFFFF),
              static_cast<int>(version >> 32 & 0xFFFF), static_cast<int>(version >> 16 & 0xFFFF),
              static_cast<int>(version & 0xFFFF));
}

void ShowRows(const fw::ListView& list, const std::vector<UPDATEITEM>& selected) {
    for (int row = 0; row < static_cast<int>(selected.size()); ++row) {
        const UPDATEITEM& item = selected[row];
        wchar_t installed[40], offered[40];
        FormatVersion(item.installedVersion, installed);
        FormatVersion(item.offeredVersion, offered);
        list.InsertItem(row, L"-");
        list.SetItemText(row, 1, installed);
        list.SetItemText(row, 2, offered);
        list.SetItemText(row, 3, ComponentTypeName(item.type));
        list.SetItemText(row, 4, item.name);
    }
}

void UpdateRows(ZERAVIzider& engine, const fw::ListView& list) {
    // A copy: the rows are what this run selected, whatever happens to the engine's list.
    const std::vector<UPDATEITEM> selected = engine.Selected();
    for (int row = 0; row < static_cast<int>(selected.size()) && !engine.StopRequested(); ++row) {
        const UPDATEITEM& item = selected[row];
        // The selected row is where the download shows its progress.
        list.Select(row);
        const bool done = item.offeredVersion <= item.installedVersion ||
                          Guarded([&] { return engine.UpdateComponent(item); });
        list.SetItemText(row, 0, done ? L"完成" : L"失败");
    }
}

}  // namespace

DWORD WINAPI UpdateThreadProc(void* parameter) {
    CSR_AutoUpdateDlg& dialog = *static_cast<CSR_AutoUpdateDlg*>(parameter);
    ZERAVIzider& engine = dialog.Engine();
    fw::Window retry = dialog.Item(IDOK);
    retry.Enable(false);
    if (Guarded([&] { return engine.LoadUpdateList(dialog.PackageName()) != 0 && engine.SelectComponents() != 0; })) {
        const fw::ListView list = dialog.Components();
        Guarded([&] {
            ShowRows(list, engine.Selected());
            Sleep(500);
            UpdateRows(engine, list);
            return true;
        });
    }
    engine.Notify(L"更新完毕");
    retry.Enable(true);
    dialog.WorkerFinished();
    return 0;
}
