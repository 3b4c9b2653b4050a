#include "app/frm_about.h"

namespace quorvel {

TfrmAbout::TfrmAbout(SettingsStore& store) : Form("frmAbout", "About Quorvel"), store_(store) {
    lblVersion.caption = "Quorvel 1.0 - quickly eliminate junk e-mail before it gets to your mailbox";
}

void TfrmAbout::FormShow() {
    points_ = store_.readInteger("General", "Points", 0) + 1;
    lblPoints.caption = "Visits to this window: " + std::to_string(points_);
    changed();
}

void TfrmAbout::FormClose() {
    store_.writeInteger("General", "Points", points_);
}

}  // namespace quorvel
