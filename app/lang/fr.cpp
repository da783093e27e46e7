// French texts of Tamble (culture "fr").  A no-break space goes before ':' and
// '!', as French typesetting wants.
#include "app/lang/Translation.h"

namespace {

constexpr Translation kFrench[] = {
    {IDS_WAIT_COMPRESS_HISTORY, "Veuillez patienter pendant la compression des fichiers d'historique."},
    {IDS_WAIT_EXTRACT_HISTORY, "Veuillez patienter pendant l'extraction des fichiers d'historique."},
    {IDS_WAIT_COMPRESS_FILE, "Veuillez patienter pendant la compression des fichiers."},
    {IDS_WAIT_EXTRACT_FILE, "Veuillez patienter pendant l'extraction des fichiers."},
    {IDS_SOURCE_LABEL, "Fichier source\u00A0:"},
    {IDS_TARGET_LABEL, "Fichier cible\u00A0:"},
    {IDS_OVERALL_LABEL, "Total\u00A0:"},
    {IDT_MESSAGE, "Veuillez patienter pendant la compression des fichiers d'historique"},
    {IDT_SOURCE_LABEL, "Fichier source\u00A0:"},
    {IDT_TARGET_LABEL, "Fichier cible\u00A0:"},
    {IDT_OVERALL_LABEL, "Total\u00A0:"},
    {IDS_ERR_CREATE_FILE_CLASS, "Impossible de créer la classe de fichier\u00A0!"},
    {IDS_ERR_OPEN_FILE, "Impossible d'ouvrir le fichier\u00A0!"},
    {IDS_ERR_CREATE, "Création impossible\u00A0!"},
    {IDS_USAGE_HEADLINE, "Utilisation\u00A0: tamble [options]"},
};

}  // namespace

TAMBLE_RES_EXPORT const char* TambleResString(unsigned id)
{
    return FindTranslation(kFrench, id);
}
