// Loading the window module and handing it the job; the dialog is reached
// only through the module's table of view functions.
#include "app/WindowHost.h"

#include "platform/ModulePath.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"

#include <dlfcn.h>

namespace {

struct WindowRun {
    CWindowJobs* jobs;
    CWindowView* view;
    bool ran;
};

}   // namespace

std::string CWindowModule::DefaultPath()
{
    std::string exe = GetModuleFileName();
    std::string::size_type slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + TAMBLE_WINDOW_MODULE_NAME;
}

bool CWindowModule::Load(const std::string& path)
{
    if (m_pfnRun != nullptr)
        return true;
    if (!m_strError.empty())
        return false;
    dlerror();
    m_hModule = LoadLibraryA(path.c_str());
    if (m_hModule == nullptr) {
        // dlerror names the path first; the message names it already.
        const char* error = dlerror();
        m_strError = error != nullptr ? error : "";
        if (m_strError.compare(0, path.size() + 2, path + ": ") == 0)
            m_strError.erase(0, path.size() + 2);
        if (m_strError.empty())
            m_strError = LoadResString(IDS_CAUSE_MODULE_UNLOADABLE);
        return false;
    }
    auto version = reinterpret_cast<TambleWindowVersionProc>(GetProcAddress(m_hModule, TAMBLE_WINDOW_VERSION_PROC));
    m_pfnOpenDisplay
        = reinterpret_cast<TambleWindowOpenDisplayProc>(GetProcAddress(m_hModule, TAMBLE_WINDOW_OPEN_DISPLAY_PROC));
    m_pfnRun = reinterpret_cast<TambleWindowRunProc>(GetProcAddress(m_hModule, TAMBLE_WINDOW_RUN_PROC));
    if (version == nullptr || version() != TAMBLE_WINDOW_ABI_VERSION || m_pfnOpenDisplay == nullptr
        || m_pfnRun == nullptr) {
        m_strError = LoadResString(IDS_CAUSE_MODULE_VERSION);
        m_pfnOpenDisplay = nullptr;
        m_pfnRun = nullptr;
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
        return false;
    }
    return true;
}

bool CWindowModule::OpenDisplay()
{
    return m_pfnOpenDisplay != nullptr && m_pfnOpenDisplay() != 0;
}

bool CWindowModule::Run(CWindowJobs& jobs, CWindowView& view)
{
    if (m_pfnRun == nullptr)
        return false;
    WindowRun run {&jobs, &view, false};
    TambleWindowJob job {};
    job.version = TAMBLE_WINDOW_ABI_VERSION;
    job.size = sizeof job;
    job.zipMode = jobs.Settings().zipMode;
    job.fileType = jobs.Settings().fileType;
    job.hidden = jobs.Settings().hidden ? 1 : 0;
    job.resources = AfxGetResourceHandle();
    job.context = &run;
    job.run = [](void* context, const TambleWindowView* table) {
        auto* self = static_cast<WindowRun*>(context);
        self->ran = true;
        self->view->m_pTable = table;
        self->jobs->RunReporting();
        self->view->m_pTable = nullptr;
    };
    m_pfnRun(&job);
    return run.ran;
}
