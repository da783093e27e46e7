// German texts of Tamble (culture "de").
#include "app/lang/Translation.h"

namespace {

constexpr Translation kGerman[] = {
    {IDS_WAIT_COMPRESS_HISTORY, "Bitte warten Sie, während die Verlaufsdateien komprimiert werden."},
    {IDS_WAIT_EXTRACT_HISTORY, "Bitte warten Sie, während die Verlaufsdateien entpackt werden."},
    {IDS_WAIT_COMPRESS_FILE, "Bitte warten Sie, während die Dateien komprimiert werden."},
    {IDS_WAIT_EXTRACT_FILE, "Bitte warten Sie, während die Dateien entpackt werden."},
    {IDS_SOURCE_LABEL, "Quelldatei:"},
    {IDS_TARGET_LABEL, "Zieldatei:"},
    {IDS_OVERALL_LABEL, "Gesamt:"},
    {IDT_MESSAGE, "Bitte warten Sie, während die Verlaufsdateien komprimiert werden"},
    {IDT_SOURCE_LABEL, "Quelldatei:"},
    {IDT_TARGET_LABEL, "Zieldatei:"},
    {IDT_OVERALL_LABEL, "Gesamt:"},
    {IDS_ERR_CREATE_FILE_CLASS, "Die Dateiklasse konnte nicht angelegt werden!"},
    {IDS_ERR_OPEN_FILE, "Die Datei konnte nicht geöffnet werden!"},
    {IDS_ERR_CREATE, "Erstellen fehlgeschlagen!"},
    {IDS_USAGE_HEADLINE, "Aufruf: tamble [Schalter]"},
};

}  // namespace

TAMBLE_RES_EXPORT const char* TambleResString(unsigned id)
{
    return FindTranslation(kGerman, id);
}
