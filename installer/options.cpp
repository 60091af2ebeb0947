#include "installer/options.h"
#include "app/session.h"

#include <algorithm>
#include <iterator>

QString receiverModel(const QString &controller, bool *known)
{
    *known = true;
    if (controller == "ili9341")
        return "Lumo 1/Lumo 2/Lumo Mini";
    if (controller == "st7789")
        return "Lumo 7";
    if (controller == "ili9488")
        return "Lumo Max";
    if (controller == "st7796")
        return QString();
    *known = false;
    return QString();
}

const QStringList &languageNames()
{
    static const QStringList names = { "English", "Русский", "Italiano", "Cesky", "Deutsch",
                                       "Francais", "Polski", "Portugues", "Romana", "Espanol" };
    return names;
}

QString languageName(const QString &code)
{
    const auto at = std::find(std::begin(lang), std::end(lang), code.toUpper());
    return at == std::end(lang) ? QString() : languageNames().at(int(at - std::begin(lang)));
}

QString changelogPath(const QString &languageCode)
{
    return "firmware/changelog/changelog" + languageCode + ".txt";
}
