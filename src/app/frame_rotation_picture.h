#pragma once

#include <QPixmap>

namespace kelvora {

// A 55 x 53 drawing of a film strip lying across the picture: perforations along both
// long edges, three frames between them, and the soundtrack band next to the upper
// perforations (`soundtrackUp`) or the lower ones.
QPixmap frameRotationPicture(bool soundtrackUp);

// The window icon: a frame of film with its soundtrack.
QPixmap applicationIcon();

}  // namespace kelvora
