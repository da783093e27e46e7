// The window module's entry points (app/WindowAbi.h): the progress dialog
// driven by a job that lives in the program.
#include "app/TambleDlg.h"
#include "app/WindowAbi.h"
#include "platform/ResourceLibrary.h"

namespace {

CTambleDlg& Dialog(void* dialog)
{
    return *static_cast<CTambleDlg*>(dialog);
}

const TambleWindowView kDialogView = {
    nullptr,
    [](void* d, const char* text) { Dialog(d).SetWaitText(text); },
    [](void* d, const char* text) { Dialog(d).SetSourceName(text); },
    [](void* d, const char* text) { Dialog(d).SetTargetName(text); },
    [](void* d) { Dialog(d).TransferTexts(); },
    [](void* d, std::uint32_t upper) { Dialog(d).SetFileRange(upper); },
    [](void* d, std::uint32_t pos) { Dialog(d).SetFilePos(pos); },
    [](void* d) { Dialog(d).RepaintFileBar(); },
    [](void* d, std::uint16_t upper) { Dialog(d).SetOverallRange(upper); },
    [](void* d, int pos) { Dialog(d).SetOverallPos(pos); },
    [](void* d) { Dialog(d).RepaintOverallBar(); },
    [](void* d, const char* text) { Dialog(d).Message(text); },
    [](void* d, const char* text) { Dialog(d).Log(text); },
    [](void* d, int result) { Dialog(d).EndJob(result); },
};

}   // namespace

TAMBLE_WINDOW_EXPORT unsigned TambleWindowVersion()
{
    return TAMBLE_WINDOW_ABI_VERSION;
}

TAMBLE_WINDOW_EXPORT int TambleWindowOpenDisplay()
{
    return CTambleDlg::OpenDisplay() ? 1 : 0;
}

TAMBLE_WINDOW_EXPORT int TambleWindowRun(const TambleWindowJob* job)
{
    if (job == nullptr || job->version != TAMBLE_WINDOW_ABI_VERSION || job->size < sizeof(TambleWindowJob))
        return -1;
    // The module has its own copy of the text lookup: it takes the program's
    // language for the time of the window.
    HINSTANCE previous = AfxGetResourceHandle();
    AfxSetResourceHandle(job->resources);

    CTambleDlg dlg;
    dlg.m_nZipMode = job->zipMode;
    dlg.m_nFileType = job->fileType;
    dlg.m_bHidden = job->hidden != 0 ? TRUE : FALSE;
    TambleWindowView view = kDialogView;
    view.dialog = &dlg;
    dlg.m_runJob = [job, &view] { job->run(job->context, &view); };
    int result = dlg.DoModal();

    AfxSetResourceHandle(previous);
    return result;
}
