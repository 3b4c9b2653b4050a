#pragma once

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QString>

namespace quorvel::ui {

// The program's pictures, drawn at any size: the 15 state pictures "B0" to
// "B14", the picture holders (imUP, imDown, imStop, imBye, imDoor, imHammer),
// the tray animation (ANIM1, ANIM2), the button pictures (by button name) and
// "splash". An unknown name gives an empty picture.
QPixmap picture(const QString& name, int size);

// Draws a picture into a square of `size` at the painter's origin, on any
// paint device (a pixmap, an SVG file). False for an unknown name.
bool paintPicture(QPainter& painter, const QString& name, qreal size);

// A picture as an icon, drawn only when and at the size it is first shown:
// start-up draws nothing that is not on screen.
QIcon drawnIcon(const QString& name);

// The program's icon: a hammer over the word SPAM. The installed icon files
// are drawn from the same picture.
inline constexpr const char* kProgramIcon = "imHammer";
QIcon programIcon();

}  // namespace quorvel::ui
