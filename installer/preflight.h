#ifndef PREFLIGHT_H
#define PREFLIGHT_H

#include <QString>

// What an installation needs in the working folder before anything is sent
// to the receiver: the flashing script of this system, the firmware folder,
// the chosen language's file, and room for a new backup. Empty when all is
// there; otherwise what is wrong and what to do, in the user's words.
QString preflightProblem(const QString &languageCode);

#endif
