#pragma once

// The user's language for every text of the app: the translation compiled in
// for the system locale (":/i18n/cuelark_<language>.qm"), English otherwise.
namespace Translations {
// Installs it on the running application; true when one was found for the
// locale. Qt's own texts follow where the system has their translation.
bool install();
} // namespace Translations
