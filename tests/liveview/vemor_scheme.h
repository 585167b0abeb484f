// Builds the motor-starter scheme that the live view shows (data/schemes/vemor.sch) with the
// scheme library itself, so the committed document can be checked against, and rewritten from,
// this one description.
#pragma once

#include <QByteArray>

class TDrawPanel;

// Replaces the panel's document with the scheme.
void BuildVemorScheme(TDrawPanel& panel);
// The document text the library writes for a panel.
QByteArray SaveSchemeText(TDrawPanel& panel);
