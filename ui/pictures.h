#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace quorvel::ui {

// The program's pictures, drawn at any size: the 15 state pictures "B0" to
// "B14", the picture holders (imUP, imDown, imStop, imBye, imDoor, imHammer),
// the tray animation (ANIM1, ANIM2), the button pictures (by button name) and
// "splash". An unknown name gives an empty picture.
QPixmap picture(const QString& name, int size);

// A picture as an icon, drawn only when and at the size it is first shown:
// start-up draws nothing that is not on screen.
QIcon drawnIcon(const QString& name);

// The program's icon: a hammer over the word SPAM.
QIcon programIcon();

}  // namespace quorvel::ui
