#include "platform/nls/locale_data.h"

#include <cctype>
#include <string>

#include "platform/nls/locale.h"

namespace {

using Days = const char* const[7];
using Months = const char* const[12];

Days kEnDays = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
Days kEnAbDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
Months kEnMonths = {"January", "February", "March",     "April",   "May",      "June",
                    "July",    "August",   "September", "October", "November", "December"};
Months kEnAbMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

Days kDeDays = {"Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag", "Sonntag"};
Days kDeAbDays = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
Months kDeMonths = {"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                    "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
Months kDeAbMonths = {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun",
                      "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};

Days kFrDays = {"lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi", "dimanche"};
Days kFrAbDays = {"lun.", "mar.", "mer.", "jeu.", "ven.", "sam.", "dim."};
Months kFrMonths = {"janvier", "février", "mars",      "avril",   "mai",      "juin",
                    "juillet", "août",    "septembre", "octobre", "novembre", "décembre"};
Months kFrAbMonths = {"janv.", "févr.", "mars",  "avr.", "mai",  "juin",
                      "juil.", "août",  "sept.", "oct.", "nov.", "déc."};

Days kItDays = {"lunedì", "martedì", "mercoledì", "giovedì", "venerdì", "sabato", "domenica"};
Days kItAbDays = {"lun", "mar", "mer", "gio", "ven", "sab", "dom"};
Months kItMonths = {"gennaio", "febbraio", "marzo",     "aprile",  "maggio",   "giugno",
                    "luglio",  "agosto",   "settembre", "ottobre", "novembre", "dicembre"};
Months kItAbMonths = {"gen", "feb", "mar", "apr", "mag", "giu",
                      "lug", "ago", "set", "ott", "nov", "dic"};

Days kEsDays = {"lunes", "martes", "miércoles", "jueves", "viernes", "sábado", "domingo"};
Days kEsAbDays = {"lun", "mar", "mié", "jue", "vie", "sáb", "dom"};
Months kEsMonths = {"enero", "febrero", "marzo",      "abril",   "mayo",      "junio",
                    "julio", "agosto",  "septiembre", "octubre", "noviembre", "diciembre"};
Months kEsAbMonths = {"ene", "feb", "mar", "abr", "may", "jun",
                      "jul", "ago", "sep", "oct", "nov", "dic"};

Days kNlDays = {"maandag", "dinsdag", "woensdag", "donderdag", "vrijdag", "zaterdag", "zondag"};
Days kNlAbDays = {"ma", "di", "wo", "do", "vr", "za", "zo"};
Months kNlMonths = {"januari", "februari", "maart",     "april",   "mei",      "juni",
                    "juli",    "augustus", "september", "oktober", "november", "december"};
Months kNlAbMonths = {"jan", "feb", "mrt", "apr", "mei", "jun",
                      "jul", "aug", "sep", "okt", "nov", "dec"};

Days kSvDays = {"måndag", "tisdag", "onsdag", "torsdag", "fredag", "lördag", "söndag"};
Days kSvAbDays = {"må", "ti", "on", "to", "fr", "lö", "sö"};
Months kSvMonths = {"januari", "februari", "mars",      "april",   "maj",      "juni",
                    "juli",    "augusti",  "september", "oktober", "november", "december"};
Months kSvAbMonths = {"jan", "feb", "mar", "apr", "maj", "jun",
                      "jul", "aug", "sep", "okt", "nov", "dec"};

Days kPtDays = {"segunda-feira", "terça-feira", "quarta-feira", "quinta-feira",
                "sexta-feira",   "sábado",      "domingo"};
Days kPtAbDays = {"seg", "ter", "qua", "qui", "sex", "sáb", "dom"};
Months kPtMonths = {"janeiro", "fevereiro", "março",    "abril",   "maio",     "junho",
                    "julho",   "agosto",    "setembro", "outubro", "novembro", "dezembro"};
Months kPtAbMonths = {"jan", "fev", "mar", "abr", "mai", "jun",
                      "jul", "ago", "set", "out", "nov", "dez"};

// Short dates carry four-digit years.
const NtLocaleData kLocales[] = {
    {0x0409, "en_US", "ENU", "English", "United States", ",", ".", "3;0", 1, "/", ":", "M/d/yyyy",
     "dddd, MMMM dd, yyyy", "h:mm:ss tt", "AM", "PM", "A.D.", kEnDays, kEnAbDays, kEnMonths,
     kEnAbMonths},
    {0x0809, "en_GB", "ENG", "English", "United Kingdom", ",", ".", "3;0", 1, "/", ":",
     "dd/MM/yyyy", "dd MMMM yyyy", "HH:mm:ss", "AM", "PM", "A.D.", kEnDays, kEnAbDays, kEnMonths,
     kEnAbMonths},
    {0x0407, "de_DE", "DEU", "German", "Germany", ".", ",", "3;0", 1, ".", ":", "dd.MM.yyyy",
     "dddd, d. MMMM yyyy", "HH:mm:ss", "", "", "n. Chr.", kDeDays, kDeAbDays, kDeMonths,
     kDeAbMonths},
    {0x0807, "de_CH", "DES", "German", "Switzerland", "'", ".", "3;0", 1, ".", ":", "dd.MM.yyyy",
     "dddd, d. MMMM yyyy", "HH:mm:ss", "", "", "n. Chr.", kDeDays, kDeAbDays, kDeMonths,
     kDeAbMonths},
    {0x040C, "fr_FR", "FRA", "French", "France", "\u00A0", ",", "3;0", 1, "/", ":", "dd/MM/yyyy",
     "dddd d MMMM yyyy", "HH:mm:ss", "", "", "ap. J.-C.", kFrDays, kFrAbDays, kFrMonths,
     kFrAbMonths},
    {0x0410, "it_IT", "ITA", "Italian", "Italy", ".", ",", "3;0", 1, "/", ".", "dd/MM/yyyy",
     "dddd d MMMM yyyy", "H.mm.ss", "", "", "d.C.", kItDays, kItAbDays, kItMonths, kItAbMonths},
    {0x0C0A, "es_ES", "ESN", "Spanish", "Spain", ".", ",", "3;0", 1, "/", ":", "dd/MM/yyyy",
     "dddd, d' de 'MMMM' de 'yyyy", "H:mm:ss", "", "", "d.C.", kEsDays, kEsAbDays, kEsMonths,
     kEsAbMonths},
    {0x0413, "nl_NL", "NLD", "Dutch", "Netherlands", ".", ",", "3;0", 1, "-", ":", "d-M-yyyy",
     "dddd d MMMM yyyy", "H:mm:ss", "", "", "n.Chr.", kNlDays, kNlAbDays, kNlMonths, kNlAbMonths},
    {0x041D, "sv_SE", "SVE", "Swedish", "Sweden", "\u00A0", ",", "3;0", 1, "-", ":", "yyyy-MM-dd",
     "'den 'd MMMM yyyy", "HH:mm:ss", "", "", "e.Kr.", kSvDays, kSvAbDays, kSvMonths,
     kSvAbMonths},
    {0x0416, "pt_BR", "PTB", "Portuguese", "Brazil", ".", ",", "3;0", 1, "/", ":", "dd/MM/yyyy",
     "dddd, d' de 'MMMM' de 'yyyy", "H:mm:ss", "", "", "d.C.", kPtDays, kPtAbDays, kPtMonths,
     kPtAbMonths},
};

const NtLocaleData* find(LCID lcid) {
  for (const auto& l : kLocales) {
    if (l.lcid == lcid) return &l;
  }
  return nullptr;
}

}  // namespace

const NtLocaleData* nt_locale_data(LCID lcid) {
  if (lcid == 0 || lcid == LOCALE_USER_DEFAULT) {
    lcid = GetUserDefaultLCID();
  } else if (lcid == LOCALE_SYSTEM_DEFAULT) {
    lcid = GetSystemDefaultLCID();
  }
  return find(lcid);
}

LCID nt_lcid_from_posix(const char* name) {
  if (!name) return LANG_ENGLISH_US;
  std::string language, territory;
  const char* p = name;
  while (*p && std::isalpha(static_cast<unsigned char>(*p))) {
    language += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    ++p;
  }
  if (*p == '_' || *p == '-') {
    ++p;
    while (*p && std::isalpha(static_cast<unsigned char>(*p))) {
      territory += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
      ++p;
    }
  }
  // Only an encoding ("."), a modifier ("@") or nothing may follow.
  if (*p && *p != '.' && *p != '@') return LANG_ENGLISH_US;
  if (language.size() != 2) return LANG_ENGLISH_US;  // "C", "POSIX" and the like
  std::string full = language + "_" + territory;
  const NtLocaleData* first_of_language = nullptr;
  for (const auto& l : kLocales) {
    if (full == l.posix_name) return l.lcid;
    if (!first_of_language && language.compare(0, 2, l.posix_name, 2) == 0) first_of_language = &l;
  }
  return first_of_language ? first_of_language->lcid : LANG_ENGLISH_US;
}
