// The font of the bench windows: "MS Sans Serif" at 11 pixels (8 points at 96 pixels per
// inch, 13-pixel text lines), or a sans-serif face of the same pixel size where the
// platform has no such family.
#pragma once

#include <QFont>

class QPushButton;

QFont DialogFont();

// The buttons keep their design widths whatever the face: a caption wider than its
// button is set in a condensed form of the button's font, as narrow as it needs.
void FitButtonCaption(QPushButton* button);
