// French texts of Tamble (culture "fr").  A no-break space goes before ':',
// ';' and '!' and inside guillemets, as French typesetting wants.  The wait
// texts are kept short enough for the dialog's message field; "..." (1004,
// 1005) needs no translation.
#include "app/lang/Translation.h"

namespace {

// Body of --help: switch names, option values and file names stay as they are.
constexpr char kFrenchUsage[] = "       tamble --test FICHIER... | --info FICHIER... | --cat FICHIER...\n"
                                "       tamble --help | --version\n"
                                "\n"
                                "Tâches\u00A0:\n"
                                "  /Z:C /T:A /S:dossier /N:jours [/G:groupe]\n"
                                "      compresse les fichiers d'historique (.hst) datant de plus de jours jours\n"
                                "      en leurs copies compressées (.hsz), puis les supprime dès que chaque\n"
                                "      copie est vérifiée\n"
                                "  /Z:E /T:A /S:dossier /D:MM/DD/YY /N:jours [/G:groupe]\n"
                                "      extrait les fichiers d'historique compressés de jours dates à partir de\n"
                                "      la date de début (aussi /D:YYYY-MM-DD)\n"
                                "  /Z:C /S:fichier /R:cible   compresse un fichier\n"
                                "  /Z:E /S:fichier /R:cible   extrait un fichier\n"
                                "  /G:groupe  ce groupe seulement (un nombre, en hexadécimal dans les noms)\n"
                                "  /H         pas de fenêtre\u00A0; les messages vont sur la sortie d'erreur standard\n"
                                "\n"
                                "Options\u00A0:\n"
                                "  --method=lzw|lzss|huffman|stored   méthode de compression (par défaut lzw)\n"
                                "  --progress=window|terminal|none    où une tâche affiche sa progression\u00A0:\n"
                                "      la fenêtre si un affichage X s'ouvre, sinon un affichage en direct sur\n"
                                "      un terminal, sinon une ligne par fichier\u00A0; none n'affiche que les\n"
                                "      messages (/H n'ouvre jamais de fenêtre)\n"
                                "  --dry-run          dit fichier par fichier ce que ferait la tâche, sans rien\n"
                                "      changer\n"
                                "  --keep, -k         la compression garde les fichiers non compressés\n"
                                "  --output-dir=DOSSIER  l'extraction d'historique écrit dans DOSSIER\n"
                                "  --jobs=N           une tâche d'historique convertit N fichiers à la fois\n"
                                "      (par défaut un par processeur)\n"
                                "  --quiet            avertissements et erreurs seulement\u00A0: ni ligne par\n"
                                "      fichier, ni bilan\n"
                                "  --test FICHIER...  décode chaque fichier en entier et dit s'il est intact\n"
                                "  --info FICHIER...  méthode, taille d'origine et taille compressée, taux, total\n"
                                "      (un dossier vaut pour les fichiers d'historique qu'il contient, - pour\n"
                                "      l'entrée standard)\n"
                                "  --cat FICHIER...   écrit les octets d'origine de chaque fichier sur la sortie\n"
                                "      standard\n"
                                "  --                 termine les commutateurs\u00A0: la suite, des noms de fichiers\n"
                                "  --help, --version   (-h est le commutateur /H)\n"
                                "La valeur d'une option suit «\u00A0=\u00A0» ou une espace\u00A0: --jobs=2, --jobs 2.\n"
                                "\n"
                                "Code de sortie\u00A0: 0 tout est fait, 1 une conversion a échoué ou la tâche\n"
                                "s'est arrêtée sur une erreur, 2 aucune tâche ou une valeur inutilisable.\n";

constexpr Translation kFrench[] = {
    {IDS_WAIT_COMPRESS_HISTORY, "Patientez\u00A0: compression de l'historique."},
    {IDS_WAIT_EXTRACT_HISTORY, "Patientez\u00A0: extraction de l'historique."},
    {IDS_WAIT_COMPRESS_FILE, "Patientez\u00A0: compression des fichiers."},
    {IDS_WAIT_EXTRACT_FILE, "Patientez\u00A0: extraction des fichiers."},
    {IDS_SOURCE_LABEL, "Source\u00A0:"},
    {IDS_TARGET_LABEL, "Cible\u00A0:"},
    {IDS_OVERALL_LABEL, "Total\u00A0:"},
    {IDT_MESSAGE, "Patientez\u00A0: compression de l'historique"},
    {IDT_SOURCE_LABEL, "Source\u00A0:"},
    {IDT_TARGET_LABEL, "Cible\u00A0:"},
    {IDT_OVERALL_LABEL, "Total\u00A0:"},
    {IDS_ERR_OPEN_FILE, "Impossible d'ouvrir le fichier\u00A0!"},
    {IDS_ERR_CREATE, "Création impossible\u00A0!"},
    {IDS_ERR_DAMAGED, "Le fichier est endommagé\u00A0!"},
    {IDS_ERR_READ, "Impossible de lire le fichier\u00A0!"},
    {IDS_ERR_WRITE, "Impossible d'écrire le fichier\u00A0!"},
    {IDS_ERR_NOT_REGULAR, "Pas un fichier ordinaire, ignoré\u00A0!"},
    {IDS_ERR_TWIN_DIFFERS,
     "La copie compressée ne contient pas les mêmes octets, les deux fichiers sont conservés\u00A0!"},
    {IDS_ERR_TWIN_FAILED,
     "Le nouveau fichier compressé a échoué à la vérification, le fichier non compressé est conservé\u00A0!"},
    {IDS_ERR_DELETE, "Impossible de supprimer le fichier\u00A0!"},
    {IDS_ERR_NAME_DATE_RANGE, "Date hors limites dans le nom du fichier, fichier ignoré\u00A0!"},
    {IDS_ERR_NAME_DATE_CONVERT, "La date du nom de fichier ne peut pas être convertie, fichier ignoré\u00A0!"},
    {IDS_ERR_START_DATE_RANGE, "Date de début hors limites\u00A0!"},
    {IDS_ERR_START_DATE_CONVERT, "La date de début ne peut pas être convertie\u00A0!"},
    {IDS_ERR_READ_FOLDER, "Impossible de lire le dossier\u00A0!"},
    {IDS_ERR_NO_JOB, "Aucune tâche indiquée (/Z:C ou /Z:E)\u00A0!"},
    {IDS_ERR_NO_FOLDER, "Aucun dossier d'historique indiqué (/S:)\u00A0!"},
    {IDS_ERR_NO_DAYS, "Aucun nombre de jours indiqué (/N:)\u00A0!"},
    {IDS_ERR_NEGATIVE_DAYS, "Le nombre de jours ne doit pas être négatif pour une extraction\u00A0!"},
    {IDS_ERR_BAD_START_DATE, "La date de début (/D:) doit être au format MM/DD/YY, MM/DD/YYYY ou YYYY-MM-DD\u00A0!"},
    {IDS_ERR_FOLDER_IN_USE, "Une autre exécution de tamble travaille dans ce dossier, rien n'a été fait\u00A0!"},
    {IDS_ERR_PLAIN_CHANGED, "Le fichier non compressé a changé pendant sa compression, il est conservé\u00A0!"},
    {IDS_ERR_TEMP_LEFT, "Impossible de supprimer le fichier temporaire\u00A0!"},
    {IDS_ERR_IN_USE, "Le fichier non compressé est utilisé par un autre programme, il est conservé pour une exécution "
                     "ultérieure\u00A0!"},
    {IDS_LOG_COMPRESSED, "Compressé\u00A0:"},
    {IDS_LOG_EXTRACTED, "Extrait\u00A0:"},
    {IDS_LOG_PLAIN_DELETED, "Supprimé, sa copie compressée contient les mêmes octets\u00A0:"},
    {IDS_LOG_TARGET_EXISTS, "Ignoré, la cible existe déjà\u00A0:"},
    {IDS_LOG_WAIT_FOLDER, "Attente de la fin d'une autre exécution de tamble dans\u00A0:"},
    {IDS_LOG_STALE_TEMP, "Suppression d'un fichier temporaire laissé par une exécution interrompue\u00A0:"},
    {IDS_LOG_RESTORED, "Remise en place d'un fichier non compressé mis de côté par une exécution interrompue\u00A0:"},
    {IDS_USAGE_HEADLINE, "Utilisation\u00A0: tamble [options]"},
    {IDS_USAGE_TEXT, kFrenchUsage},
    {IDS_USAGE_MORE, "Saisissez «\u00A0tamble --help\u00A0» pour plus d'informations."},
    {IDS_ERR_UNKNOWN_OPTION, "Option inconnue\u00A0!"},
    {IDS_ERR_BAD_METHOD, "Méthode inconnue, utilisez lzw, lzss, huffman ou stored\u00A0!"},
    {IDS_ERR_NO_FILES, "Aucun fichier indiqué\u00A0!"},
    {IDS_TEST_OK, "OK"},
    {IDS_TEST_DAMAGED, "endommagé"},
    {IDS_TEST_UNREADABLE, "illisible"},
    {IDS_ERR_BAD_PROGRESS, "Affichage de progression inconnu, utilisez window, terminal ou none\u00A0!"},
    {IDS_ERR_NO_DISPLAY, "Pas de fenêtre, impossible d'ouvrir l'affichage X\u00A0:"},
    {IDS_ERR_NO_WINDOW_MODULE, "Pas de fenêtre, impossible de charger le module de fenêtre\u00A0:"},
    {IDS_ERR_NO_SOURCE, "Aucun fichier source indiqué (/S:)\u00A0!"},
    {IDS_ERR_NO_TARGET, "Aucun fichier cible indiqué (/R:)\u00A0!"},
    {IDS_ERR_OUTPUT_DIR_JOB, "--output-dir ne sert qu'à l'extraction des fichiers d'historique (/Z:E /T:A)\u00A0!"},
    {IDS_CAUSE_MONTH, "le mois n'est pas entre 01 et 12"},
    {IDS_CAUSE_DAY, "le jour n'est pas entre 01 et 31"},
    {IDS_CAUSE_YEAR, "l'année n'est pas entre 1970 et 3000"},
    {IDS_CAUSE_ERROR, "erreur"},
    {IDS_CAUSE_WAITED, "{0}\u00A0s d'attente de l'autre exécution"},
    {IDS_CAUSE_NOT_SEPARATE, "{0} n'est pas un fichier ordinaire distinct"},
    {IDS_CAUSE_TWIN_REMOVED, "{0} supprimé"},
    {IDS_CAUSE_TWIN_KEPT, "{0} conservé"},
    {IDS_CAUSE_BYTE, "{0} octet"},
    {IDS_CAUSE_BYTES, "{0} octets"},
    {IDS_CAUSE_SHORTER_THAN_HEADER, "plus court que son en-tête de 16 octets ({0})"},
    {IDS_CAUSE_ENDS_EARLY, "se termine {0} trop tôt"},
    {IDS_CAUSE_NOT_REGULAR, "pas un fichier ordinaire"},
    {IDS_CAUSE_DAMAGED_MAGIC, "méthode inconnue\u00A0: signature endommagée"},
    {IDS_CAUSE_HEADER_UNSTABLE, "son en-tête n'a pas pu être lu deux fois de la même façon"},
    {IDS_CAUSE_BAD_CODE, "endommagé (un code qu'aucun encodeur ne produit) après {0}"},
    {IDS_CAUSE_CUT_SHORT, "tronqué\u00A0: {0} sur {1}"},
    {IDS_CAUSE_CODES_RUN_OUT, "ses données codées s'épuisent après {0} des {1} qu'annonce son en-tête"},
    {IDS_CAUSE_DATA_ENDS, "ses données s'arrêtent après {0} des {1} qu'annonce son en-tête"},
    {IDS_CAUSE_DATA_GOES_ON, "les données vont au-delà des {0} qu'annonce son en-tête"},
    {IDS_CAUSE_END_CODE_CUT, "son code de fin est tronqué"},
    {IDS_CAUSE_CODED_SIZE, "son en-tête annonce {0} de données codées, il en a {1}"},
    {IDS_CAUSE_TRAILING, "{0} après les données codées"},
    {IDS_CAUSE_SIZES_DIFFER, "elle contient {0} octets, le fichier non compressé {1}"},
    {IDS_CAUSE_CONTENT_DIFFERS, "son contenu diffère entre les octets {0} et {1}"},
    {IDS_CAUSE_PLAIN_GREW, "le fichier non compressé a grossi pendant la comparaison"},
    {IDS_CAUSE_FOLDER_OPEN_SYNC, "impossible d'ouvrir le dossier pour le synchroniser\u00A0: {0}"},
    {IDS_CAUSE_FOLDER_SYNC, "échec de la synchronisation du dossier\u00A0: {0}"},
    {IDS_CAUSE_ACL_READ, "impossible de lire sa liste d'accès\u00A0: {0}"},
    {IDS_CAUSE_ACL_SET, "impossible de définir la liste d'accès\u00A0: {0}"},
    {IDS_CAUSE_ACL_REMOVE, "impossible de retirer la liste d'accès héritée\u00A0: {0}"},
    {IDS_CAUSE_MODE_SET, "impossible de définir les droits d'accès\u00A0: {0}"},
    {IDS_CAUSE_TIME_SET, "impossible de définir la date de modification\u00A0: {0}"},
    {IDS_CAUSE_TARGET_APPEARED, "la cible est apparue entre-temps"},
    {IDS_CAUSE_SYNC, "échec de la synchronisation\u00A0: {0}"},
    {IDS_CAUSE_TEMP_REPLACED, "le fichier temporaire {0} a été remplacé"},
    {IDS_CAUSE_NAME_REPLACED, "le nom mène maintenant à un autre fichier"},
    {IDS_WARN_NO_LEASE, "Avertissement : {0} fichiers non compressés supprimés sans bail d'écriture (un programme qui "
                        "en tenait un ouvert n'aurait pas été vu) :"},
    {IDS_CAUSE_DATA_COMPLETE_IN, "{0}\u00A0; ses données sont complètes dans {1}"},
    {IDS_CAUSE_KEPT_AS, "conservé sous le nom {0}\u00A0: {1}"},
    {IDS_CAUSE_MODULE_UNLOADABLE, "ne peut pas être chargé"},
    {IDS_CAUSE_MODULE_VERSION, "pas un module de fenêtre de cette version"},
    {IDS_DRY_COMPRESS, "Serait compressé\u00A0:"},
    {IDS_DRY_EXTRACT, "Serait extrait\u00A0:"},
    {IDS_DRY_DELETE, "Serait supprimé, sa copie compressée contient les mêmes octets\u00A0:"},
    {IDS_DRY_TOO_YOUNG, "Serait ignoré, trop récent\u00A0:"},
    {IDS_DRY_TARGET_EXISTS, "Serait ignoré, la cible existe déjà\u00A0:"},
    {IDS_DRY_OTHER_NAME, "Serait ignoré, pas un nom de fichier d'historique\u00A0:"},
    {IDS_SUMMARY,
     "Terminé\u00A0: compression de {0}\u00A0; ignorés\u00A0: {1}{7}, en échec\u00A0: {2}\u00A0; {3} avant, {4} "
     "après{5}\u00A0; {6}\u00A0s"},
    {IDS_SUMMARY_DRY, "Essai à blanc, rien n'a changé\u00A0: compression de {0} prévue\u00A0; ignorés\u00A0: {1}{7}, "
                      "en échec\u00A0: {2}\u00A0; "
                      "{6}\u00A0s"},
    {IDS_WARN_UNKNOWN_SWITCH, "Avertissement\u00A0: commutateur inconnu, ignoré\u00A0:"},
    {IDS_WARN_PARTLY_READ, "Avertissement\u00A0: commutateur lu en partie seulement\u00A0:"},
    {IDS_WARN_NO_VALUE, "Avertissement\u00A0: commutateur sans valeur connue, ignoré\u00A0:"},
    {IDS_WARN_PARAM_IGNORED, "Avertissement\u00A0: paramètre ignoré\u00A0:"},
    {IDS_WARN_TAKEN_AS, "lu comme"},
    {IDS_WARN_GROUP_DECIMAL, "les groupes sont des nombres décimaux"},
    {IDS_WARN_SETTINGS_REFUSED, "Avertissement\u00A0: fichier de paramètres non lu, considéré comme absent\u00A0:"},
    {IDS_WARN_LANGUAGE_REFUSED,
     "Avertissement\u00A0: bibliothèque de langue non chargée, l'anglais est utilisé\u00A0:"},
    {IDS_ERR_CAT_TERMINAL, "--cat écrit des données binaires, la sortie standard ne doit pas être un terminal\u00A0!"},
    {IDS_ERR_BAD_OUTPUT_DIR, "Aucun dossier indiqué pour --output-dir\u00A0!"},
    {IDS_ERR_BAD_JOBS, "--jobs demande un nombre de fichiers de 1 à 256\u00A0!"},
    {IDS_INFO_TOTAL, "Total\u00A0: {0}, original {1}, compressé {2}{3}"},
    {IDS_INFO_LINE, "{0}\u00A0: méthode {1}, original {2}, compressé {3}{4}"},
    {IDS_DONE_EXTRACTED, "Terminé\u00A0: extraction de {0}\u00A0; ignorés\u00A0: {1}{7}, en échec\u00A0: {2}\u00A0; "
                         "écriture de {4}, lecture de "
                         "{3}\u00A0; {6}\u00A0s"},
    {IDS_SUMMARY_DRY_EXTRACT, "Essai à blanc, rien n'a changé\u00A0: extraction de {0} prévue\u00A0; ignorés\u00A0: "
                              "{1}{7}, en échec\u00A0: {2}\u00A0; "
                              "{6}\u00A0s"},
    {IDS_SUMMARY_SAVED, " ({0} gagnés)"},
    {IDS_SUMMARY_BAD_NAMES, " (dont {0} avec une date erronée dans le nom)"},
    {IDS_COUNT_FILE, "{0}\u00A0fichier"},
    {IDS_COUNT_FILES, "{0}\u00A0fichiers"},
    {IDS_COUNT_DAY, "{0}\u00A0jour"},
    {IDS_COUNT_DAYS, "{0}\u00A0jours"},
    {IDS_DECIMAL_POINT, ","},
    {IDS_PERCENT, "{0}\u00A0%"},
    {IDS_LOG_DATE_WINDOW, "Dates retenues\u00A0:"},
    {IDS_DATE_WINDOW, "du {0} au {1} ({2} à partir de {3})"},
    {IDS_DRY_COMPRESS_DELETE,
     "Serait compressé, puis le fichier non compressé supprimé dès que sa copie est vérifiée\u00A0:"},
    {IDS_LOG_TWIN_EXISTS_KEPT, "Ignoré, sa copie compressée existe (--keep)\u00A0:"},
    {IDS_CAUSE_DID_YOU_MEAN, "vouliez-vous dire {0}\u00A0?"},
    {IDS_WARN_DATE_DIGITS, "Avertissement\u00A0: la date de début a des chiffres à la place des séparateurs\u00A0:"},
    {IDS_STDIN_NAME, "(entrée standard)"},
};

}   // namespace

TAMBLE_RES_EXPORT const char* TambleResString(unsigned id)
{
    return FindTranslation(kFrench, id);
}
