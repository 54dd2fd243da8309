// The recorder that records nothing, and the one decision whether a file may be written.
#include "run/change_recorder.h"

namespace {

class NullRecorder final : public ChangeRecorder {
public:
    Prior BeforeFileWrite(const wchar_t*) override { return Prior::kAbsent; }
    bool BeforeFolderCreate(const wchar_t*) override { return true; }
    bool FileCreated(const wchar_t*) override { return true; }
    bool BeforeRestartRename(const wchar_t*, const wchar_t*) override { return true; }
    bool BeforeKeyCreate(HKEY, const wchar_t*) override { return true; }
    bool BeforeValueWrite(HKEY, const wchar_t*, const wchar_t*) override { return true; }
    bool BeforeLayoutRegister(const wchar_t*) override { return true; }
    bool FontAdded(const wchar_t*) override { return true; }
    bool Flush() override { return true; }
};

}  // namespace

ChangeRecorder& NoRecorder() {
    static NullRecorder recorder;
    return recorder;
}

bool MayWriteFile(ChangeRecorder& recorder, const wchar_t* path) {
    const ChangeRecorder::Prior prior = recorder.BeforeFileWrite(path);
    return prior == ChangeRecorder::Prior::kAbsent || prior == ChangeRecorder::Prior::kKept;
}
