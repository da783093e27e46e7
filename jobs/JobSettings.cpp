#include "jobs/JobSettings.h"

#include "platform/StringIds.h"

namespace {

bool Refused(SettingsRefusal& refusal, UINT textId, std::string value = {})
{
    refusal = {textId, std::move(value)};
    return false;
}

}   // namespace

bool CheckSettings(const JobSettings& settings, SettingsRefusal& refusal)
{
    if (!settings.HasJob())
        return Refused(refusal, IDS_ERR_NO_JOB);
    if (!settings.outputDir.empty() && (settings.zipMode != ZIP_MODE_EXTRACT || !settings.History()))
        return Refused(refusal, IDS_ERR_OUTPUT_DIR_JOB);
    if (!settings.History()) {
        // One named file needs both of its names.
        if (settings.source.empty() || settings.target.empty())
            return Refused(refusal, settings.source.empty() ? IDS_ERR_NO_SOURCE : IDS_ERR_NO_TARGET);
        return true;
    }
    // A history job needs its folder (an empty one would mean the root folder)
    // and a number of days; an extraction counts days forward from a start date.
    if (settings.source.empty())
        return Refused(refusal, IDS_ERR_NO_FOLDER);
    if (settings.number == 0)
        return Refused(refusal, IDS_ERR_NO_DAYS);
    if (settings.zipMode == ZIP_MODE_EXTRACT && settings.number < 0)
        return Refused(refusal, IDS_ERR_NEGATIVE_DAYS, "/N:" + std::to_string(settings.number));
    if (settings.zipMode == ZIP_MODE_EXTRACT && settings.startDate.size() < 7)
        return Refused(refusal, IDS_ERR_BAD_START_DATE, "/D:" + settings.startDate);
    return true;
}
