#include "installer/options.h"

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

QString changelogPath(const QString &languageCode)
{
    return "firmware/changelog/changelog" + languageCode + ".txt";
}
