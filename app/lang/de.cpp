// German texts of Tamble (culture "de").  The wait texts are kept short enough
// for the dialog's message field; "..." (1004, 1005) needs no translation.
#include "app/lang/Translation.h"

namespace {

// Body of --help: switch names, option values and file names stay as they are.
constexpr char kGermanUsage[] = "       tamble --test DATEI... | --info DATEI... | --cat DATEI...\n"
                                "       tamble --help | --version\n"
                                "\n"
                                "Aufträge:\n"
                                "  /Z:C /T:A /S:ordner /N:tage [/G:gruppe]\n"
                                "      komprimiert die Verlaufsdateien (.hst), deren Datum mehr als tage Tage\n"
                                "      zurückliegt, in ihre komprimierten Gegenstücke (.hsz) und löscht sie,\n"
                                "      sobald das jeweilige Gegenstück geprüft ist\n"
                                "  /Z:E /T:A /S:ordner /D:MM/DD/YY /N:tage [/G:gruppe]\n"
                                "      entpackt die komprimierten Verlaufsdateien von tage Tagen ab dem\n"
                                "      Startdatum (auch /D:YYYY-MM-DD)\n"
                                "  /Z:C /S:datei /R:ziel   eine Datei komprimieren\n"
                                "  /Z:E /S:datei /R:ziel   eine Datei entpacken\n"
                                "  /G:gruppe  nur diese Gruppe (eine Zahl; Dateinamen zeigen sie hexadezimal)\n"
                                "  /H         kein Fenster; Meldungen gehen an die Standardfehlerausgabe\n"
                                "\n"
                                "Optionen:\n"
                                "  --method=lzw|lzss|huffman|stored   Methode beim Komprimieren (Vorgabe lzw)\n"
                                "  --progress=window|terminal|none    wo ein Auftrag seinen Fortschritt zeigt:\n"
                                "      im Fenster, wenn sich ein X-Display öffnen lässt, sonst als Live-Anzeige\n"
                                "      im Terminal, sonst als eine Zeile je Datei; none zeigt nur Meldungen\n"
                                "      (/H öffnet nie ein Fenster)\n"
                                "  --dry-run        Datei für Datei sagen, was der Auftrag täte; nichts ändern\n"
                                "  --keep, -k       beim Packen die Klartextdateien behalten (Gegenstück geprüft)\n"
                                "  --output-dir=ORDNER  beim Entpacken von Verlaufsdateien in ORDNER schreiben\n"
                                "  --jobs=N         N Verlaufsdateien zugleich umwandeln (Vorgabe: je CPU eine)\n"
                                "  --quiet          nur Warnungen und Fehler: keine Zeile je Datei, keine Summe\n"
                                "  --test DATEI...  jede Datei ganz dekodieren und melden, ob sie intakt ist\n"
                                "  --info DATEI...  Methode, Original- und komprimierte Größe, Verhältnis, Summe\n"
                                "      (ein Ordner steht für seine Verlaufsdateien, - für die Standardeingabe)\n"
                                "  --cat DATEI...   die Originalbytes jeder Datei auf die Standardausgabe\n"
                                "  --               beendet die Schalter: alles danach sind Dateinamen\n"
                                "  --help, --version   (-h ist der Schalter /H)\n"
                                "Der Wert einer Option folgt auf \"=\" oder ein Leerzeichen: --jobs=2, --jobs 2.\n"
                                "\n"
                                "Exit-Status: 0 alles erledigt, 1 eine Umwandlung ist fehlgeschlagen oder der\n"
                                "Auftrag brach mit einem Fehler ab, 2 kein Auftrag oder ein unbrauchbarer Wert.\n";

constexpr Translation kGerman[] = {
    {IDS_WAIT_COMPRESS_HISTORY, "Bitte warten: Verlaufsdateien werden gepackt."},
    {IDS_WAIT_EXTRACT_HISTORY, "Bitte warten: Verlaufsdateien werden entpackt."},
    {IDS_WAIT_COMPRESS_FILE, "Bitte warten: Dateien werden gepackt."},
    {IDS_WAIT_EXTRACT_FILE, "Bitte warten: Dateien werden entpackt."},
    {IDS_SOURCE_LABEL, "Quelldatei:"},
    {IDS_TARGET_LABEL, "Zieldatei:"},
    {IDS_OVERALL_LABEL, "Gesamt:"},
    {IDT_MESSAGE, "Bitte warten: Verlaufsdateien werden gepackt"},
    {IDT_SOURCE_LABEL, "Quelldatei:"},
    {IDT_TARGET_LABEL, "Zieldatei:"},
    {IDT_OVERALL_LABEL, "Gesamt:"},
    {IDS_ERR_OPEN_FILE, "Die Datei konnte nicht geöffnet werden!"},
    {IDS_ERR_CREATE, "Erstellen fehlgeschlagen!"},
    {IDS_ERR_DAMAGED, "Die Datei ist beschädigt!"},
    {IDS_ERR_READ, "Die Datei konnte nicht gelesen werden!"},
    {IDS_ERR_WRITE, "Die Datei konnte nicht geschrieben werden!"},
    {IDS_ERR_NOT_REGULAR, "Keine reguläre Datei, übersprungen!"},
    {IDS_ERR_TWIN_DIFFERS,
     "Das komprimierte Gegenstück enthält nicht dieselben Bytes, beide Dateien bleiben erhalten!"},
    {IDS_ERR_TWIN_FAILED,
     "Die neue komprimierte Datei hat die Prüfung nicht bestanden, die unkomprimierte Datei bleibt erhalten!"},
    {IDS_ERR_DELETE, "Die Datei konnte nicht gelöscht werden!"},
    {IDS_ERR_NAME_DATE_RANGE, "Das Datum im Dateinamen liegt außerhalb des gültigen Bereichs, übersprungen!"},
    {IDS_ERR_NAME_DATE_CONVERT, "Das Datum im Dateinamen kann nicht umgewandelt werden, übersprungen!"},
    {IDS_ERR_START_DATE_RANGE, "Das Startdatum liegt außerhalb des gültigen Bereichs!"},
    {IDS_ERR_START_DATE_CONVERT, "Das Startdatum kann nicht umgewandelt werden!"},
    {IDS_ERR_READ_FOLDER, "Der Ordner konnte nicht gelesen werden!"},
    {IDS_ERR_NO_JOB, "Kein Auftrag angegeben (/Z:C oder /Z:E)!"},
    {IDS_ERR_NO_FOLDER, "Kein Verlaufsordner angegeben (/S:)!"},
    {IDS_ERR_NO_DAYS, "Keine Anzahl von Tagen angegeben (/N:)!"},
    {IDS_ERR_NEGATIVE_DAYS, "Beim Entpacken darf die Anzahl der Tage nicht negativ sein!"},
    {IDS_ERR_BAD_START_DATE, "Das Startdatum (/D:) muss als MM/DD/YY, MM/DD/YYYY oder YYYY-MM-DD angegeben werden!"},
    {IDS_ERR_FOLDER_IN_USE, "In diesem Ordner arbeitet bereits ein anderer tamble-Lauf, es wurde nichts getan!"},
    {IDS_ERR_PLAIN_CHANGED, "Die unkomprimierte Datei hat sich beim Komprimieren geändert, sie bleibt erhalten!"},
    {IDS_ERR_TEMP_LEFT, "Die temporäre Datei konnte nicht gelöscht werden!"},
    {IDS_ERR_IN_USE,
     "Die unkomprimierte Datei wird von einem anderen Programm benutzt, sie bleibt für einen späteren Lauf erhalten!"},
    {IDS_LOG_COMPRESSED, "Komprimiert:"},
    {IDS_LOG_EXTRACTED, "Entpackt:"},
    {IDS_LOG_PLAIN_DELETED, "Gelöscht, das komprimierte Gegenstück enthält dieselben Bytes:"},
    {IDS_LOG_TARGET_EXISTS, "Übersprungen, das Ziel existiert bereits:"},
    {IDS_LOG_WAIT_FOLDER, "Warte auf das Ende eines anderen tamble-Laufs in:"},
    {IDS_LOG_STALE_TEMP, "Temporäre Datei eines abgebrochenen Laufs entfernt:"},
    {IDS_LOG_RESTORED, "Zurückgelegt, eine unkomprimierte Datei, die ein abgebrochener Lauf beiseitegelegt hatte:"},
    {IDS_USAGE_HEADLINE, "Aufruf: tamble [Schalter]"},
    {IDS_USAGE_TEXT, kGermanUsage},
    {IDS_USAGE_MORE, "Weitere Informationen erhalten Sie mit 'tamble --help'."},
    {IDS_ERR_UNKNOWN_OPTION, "Unbekannte Option!"},
    {IDS_ERR_BAD_METHOD, "Unbekannte Methode, erlaubt sind lzw, lzss, huffman oder stored!"},
    {IDS_ERR_NO_FILES, "Keine Dateien angegeben!"},
    {IDS_TEST_OK, "OK"},
    {IDS_TEST_DAMAGED, "beschädigt"},
    {IDS_TEST_UNREADABLE, "nicht lesbar"},
    {IDS_ERR_BAD_PROGRESS, "Unbekannte Fortschrittsanzeige, erlaubt sind window, terminal oder none!"},
    {IDS_ERR_NO_DISPLAY, "Kein Fenster, das X-Display lässt sich nicht öffnen:"},
    {IDS_ERR_NO_WINDOW_MODULE, "Kein Fenster, das Fenstermodul lässt sich nicht laden:"},
    {IDS_ERR_NO_SOURCE, "Keine Quelldatei angegeben (/S:)!"},
    {IDS_ERR_NO_TARGET, "Keine Zieldatei angegeben (/R:)!"},
    {IDS_ERR_OUTPUT_DIR_JOB, "--output-dir gilt nur für das Entpacken von Verlaufsdateien (/Z:E /T:A)!"},
    {IDS_CAUSE_MONTH, "der Monat liegt nicht zwischen 01 und 12"},
    {IDS_CAUSE_DAY, "der Tag liegt nicht zwischen 01 und 31"},
    {IDS_CAUSE_YEAR, "das Jahr liegt nicht zwischen 1970 und 3000"},
    {IDS_CAUSE_ERROR, "Fehler"},
    {IDS_CAUSE_WAITED, "{0} s auf den anderen Lauf gewartet"},
    {IDS_CAUSE_NOT_SEPARATE, "{0} ist keine eigene reguläre Datei"},
    {IDS_CAUSE_TWIN_REMOVED, "{0} entfernt"},
    {IDS_CAUSE_TWIN_KEPT, "{0} bleibt erhalten"},
    {IDS_CAUSE_BYTE, "{0} Byte"},
    {IDS_CAUSE_BYTES, "{0} Bytes"},
    {IDS_CAUSE_SHORTER_THAN_HEADER, "kürzer als ihr Dateikopf von 16 Bytes ({0})"},
    {IDS_CAUSE_ENDS_EARLY, "endet {0} zu früh"},
    {IDS_CAUSE_NOT_REGULAR, "keine reguläre Datei"},
    {IDS_CAUSE_DAMAGED_MAGIC, "keine bekannte Methode: beschädigte Kennung"},
    {IDS_CAUSE_HEADER_UNSTABLE, "ihr Dateikopf ließ sich nicht zweimal gleich lesen"},
    {IDS_CAUSE_BAD_CODE, "beschädigt (ein Code, den kein Kodierer erzeugt) nach {0}"},
    {IDS_CAUSE_CUT_SHORT, "vorzeitig zu Ende: {0} von {1}"},
    {IDS_CAUSE_CODES_RUN_OUT, "ihre kodierten Daten enden nach {0} der {1}, die ihr Dateikopf angibt"},
    {IDS_CAUSE_DATA_ENDS, "ihre Daten enden nach {0} der {1}, die ihr Dateikopf angibt"},
    {IDS_CAUSE_DATA_GOES_ON, "die Daten gehen über die {0} hinaus, die ihr Dateikopf angibt"},
    {IDS_CAUSE_END_CODE_CUT, "ihr Endcode ist abgeschnitten"},
    {IDS_CAUSE_CODED_SIZE, "ihr Dateikopf gibt {0} kodierte Daten an, sie hat {1}"},
    {IDS_CAUSE_TRAILING, "{0} nach den kodierten Daten"},
    {IDS_CAUSE_SIZES_DIFFER, "es enthält {0} Bytes, die unkomprimierte Datei {1}"},
    {IDS_CAUSE_CONTENT_DIFFERS, "sein Inhalt weicht zwischen Byte {0} und {1} ab"},
    {IDS_CAUSE_PLAIN_GREW, "die unkomprimierte Datei ist während des Vergleichs gewachsen"},
    {IDS_CAUSE_FOLDER_OPEN_SYNC, "der Ordner lässt sich zum Synchronisieren nicht öffnen: {0}"},
    {IDS_CAUSE_FOLDER_SYNC, "das Synchronisieren des Ordners ist fehlgeschlagen: {0}"},
    {IDS_CAUSE_ACL_READ, "ihre Zugriffsliste lässt sich nicht lesen: {0}"},
    {IDS_CAUSE_ACL_SET, "die Zugriffsliste lässt sich nicht setzen: {0}"},
    {IDS_CAUSE_ACL_REMOVE, "die geerbte Zugriffsliste lässt sich nicht entfernen: {0}"},
    {IDS_CAUSE_MODE_SET, "die Zugriffsrechte lassen sich nicht setzen: {0}"},
    {IDS_CAUSE_TIME_SET, "die Änderungszeit lässt sich nicht setzen: {0}"},
    {IDS_CAUSE_TARGET_APPEARED, "das Ziel ist inzwischen entstanden"},
    {IDS_CAUSE_SYNC, "das Synchronisieren ist fehlgeschlagen: {0}"},
    {IDS_CAUSE_TEMP_REPLACED, "die temporäre Datei {0} wurde ersetzt"},
    {IDS_CAUSE_NAME_REPLACED, "der Name führt jetzt zu einer anderen Datei"},
    {IDS_WARN_NO_LEASE, "Warnung: {0} unkomprimierte Dateien ohne Schreib-Lease gelöscht (ein Programm, das eine offen "
                        "hielt, war nicht zu sehen):"},
    {IDS_CAUSE_DATA_COMPLETE_IN, "{0}; ihre Daten sind vollständig in {1}"},
    {IDS_CAUSE_KEPT_AS, "erhalten als {0}: {1}"},
    {IDS_CAUSE_MODULE_UNLOADABLE, "lässt sich nicht laden"},
    {IDS_CAUSE_MODULE_VERSION, "kein Fenstermodul dieser Version"},
    {IDS_DRY_COMPRESS, "Würde komprimiert:"},
    {IDS_DRY_EXTRACT, "Würde entpackt:"},
    {IDS_DRY_DELETE, "Würde gelöscht, das komprimierte Gegenstück enthält dieselben Bytes:"},
    {IDS_DRY_TOO_YOUNG, "Würde übersprungen, zu jung:"},
    {IDS_DRY_TARGET_EXISTS, "Würde übersprungen, das Ziel existiert bereits:"},
    {IDS_DRY_OTHER_NAME, "Würde übersprungen, kein Name einer Verlaufsdatei:"},
    {IDS_SUMMARY,
     "Fertig: {0} gepackt, {1} übersprungen{7}, {2} fehlgeschlagen; {3} vorher, {4} nachher{5}; {6}\u00A0s"},
    {IDS_SUMMARY_DRY,
     "Probelauf, nichts geändert: {0} würden gepackt, {1} übersprungen{7}, {2} fehlgeschlagen; {6}\u00A0s"},
    {IDS_WARN_UNKNOWN_SWITCH, "Warnung: unbekannter Schalter, ignoriert:"},
    {IDS_WARN_PARTLY_READ, "Warnung: Schalter nur teilweise gelesen:"},
    {IDS_WARN_NO_VALUE, "Warnung: Schalter ohne bekannten Wert, ignoriert:"},
    {IDS_WARN_PARAM_IGNORED, "Warnung: Parameter ignoriert:"},
    {IDS_WARN_TAKEN_AS, "gelesen als"},
    {IDS_WARN_GROUP_DECIMAL, "Gruppen sind Dezimalzahlen"},
    {IDS_WARN_SETTINGS_REFUSED, "Warnung: Einstellungsdatei nicht gelesen, als fehlend behandelt:"},
    {IDS_WARN_LANGUAGE_REFUSED, "Warnung: Sprachbibliothek nicht geladen, Englisch wird verwendet:"},
    {IDS_ERR_CAT_TERMINAL, "--cat schreibt Binärdaten, die Standardausgabe darf kein Terminal sein!"},
    {IDS_ERR_BAD_OUTPUT_DIR, "Kein Ordner für --output-dir angegeben!"},
    {IDS_ERR_BAD_JOBS, "--jobs verlangt eine Anzahl Dateien von 1 bis 256!"},
    {IDS_INFO_TOTAL, "Summe: {0}, original {1}, komprimiert {2}{3}"},
    {IDS_INFO_LINE, "{0}: Methode {1}, original {2}, komprimiert {3}{4}"},
    {IDS_DONE_EXTRACTED,
     "Fertig: {0} entpackt, {1} übersprungen{7}, {2} fehlgeschlagen; {4} geschrieben, {3} gelesen; {6}\u00A0s"},
    {IDS_SUMMARY_DRY_EXTRACT,
     "Probelauf, nichts geändert: {0} würden entpackt, {1} übersprungen{7}, {2} fehlgeschlagen; {6}\u00A0s"},
    {IDS_SUMMARY_SAVED, " ({0} gespart)"},
    {IDS_SUMMARY_BAD_NAMES, " ({0} mit falschem Datum im Namen)"},
    {IDS_COUNT_FILE, "{0} Datei"},
    {IDS_COUNT_FILES, "{0} Dateien"},
    {IDS_COUNT_DAY, "{0} Tag"},
    {IDS_COUNT_DAYS, "{0} Tage"},
    {IDS_DECIMAL_POINT, ","},
    {IDS_PERCENT, "{0}\u00A0%"},
    {IDS_LOG_DATE_WINDOW, "Gewählte Tage:"},
    {IDS_DATE_WINDOW, "{0} bis {1} ({2} ab {3})"},
    {IDS_DRY_COMPRESS_DELETE, "Würde gepackt, dann die Klartextdatei gelöscht, sobald ihr Gegenstück geprüft ist:"},
    {IDS_LOG_TWIN_EXISTS_KEPT, "Übersprungen, das komprimierte Gegenstück existiert (--keep):"},
    {IDS_CAUSE_DID_YOU_MEAN, "meinten Sie {0}?"},
    {IDS_WARN_DATE_DIGITS, "Warnung: das Startdatum hat Ziffern, wo seine Trennzeichen stehen:"},
    {IDS_STDIN_NAME, "(Standardeingabe)"},
};

}   // namespace

TAMBLE_RES_EXPORT const char* TambleResString(unsigned id)
{
    return FindTranslation(kGerman, id);
}
