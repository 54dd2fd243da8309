// Reporting a sequence's progress to whoever watches it.
#include "install/install_context.h"

void ReportProgress(InstallContext& context, int position, const wchar_t* line) {
    if (position >= 0) {
        context.position = position;
        if (context.sink) context.sink->ShowPosition(position);
    }
    if (line && context.sink) context.sink->ShowLine(line);
}
