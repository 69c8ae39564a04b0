#pragma once

#include <QString>
#include <initializer_list>

namespace pelliqo {

// A file dialog's filter for these extensions ("Videos (*.mp4 *.MP4 …)"). Each is given in
// lower and upper case: dialogs on Linux match names case by case, and cameras name their
// files in capitals (IMG_0001.MOV, 00001.MTS, DSC_0001.JPG).
QString fileFilter(const QString& label, std::initializer_list<const char*> extensions);

}  // namespace pelliqo
