// The desktop's bell through the toolkit: one sound for every type, none without a display.
#include <QApplication>

#include "platform/Sound.h"

void PlayBeep(unsigned) { QApplication::beep(); }
