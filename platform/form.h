#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

// The state of one control of a window, as plain data. A window's logic object
// owns these; the toolkit window draws them and forwards the user's events.
struct Control {
    std::string caption;
    std::string hint;
    std::string picture;             // a picture by name, drawn by the toolkit
    std::string hotPicture;          // shown while the pointer is over it, if set
    std::string text;                // edit fields
    int value = 0;                   // spin edits
    std::vector<std::string> items;  // lists and combo boxes
    int itemIndex = -1;
    bool visible = true;
    bool enabled = true;
    bool checked = false;

    bool operator==(const Control&) const = default;
};

// A control that shows `caption`, with `hint` as its tooltip.
inline Control captioned(std::string caption, std::string hint = {}) {
    Control c;
    c.caption = std::move(caption);
    c.hint = std::move(hint);
    return c;
}

enum class ModalResult { None, Ok, Cancel, Yes, No };

// Base of every window's logic object: the window-level state, and the one
// notification the toolkit window listens to so it can redraw from that state.
class Form {
public:
    explicit Form(std::string name, std::string caption) : caption(std::move(caption)), name_(std::move(name)) {}
    virtual ~Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& name() const { return name_; }

    std::string caption;
    bool visible = false;
    ModalResult modalResult = ModalResult::None;

    // The toolkit window sets this to redraw itself; logic calls changed()
    // after every handler that altered the state.
    void setChangedHandler(std::function<void()> handler) { onChanged_ = std::move(handler); }
    void changed() const {
        if (held_ > 0) {
            pending_ = true;
            return;
        }
        if (onChanged_) onChanged_();
    }

    // Holds changed() back while it lives, so a handler that alters several
    // controls in steps is drawn once; the outermost batch then calls it, if
    // anything did meanwhile. Draw-only: the state itself changes at once.
    class Batch {
    public:
        explicit Batch(const Form& form) : form_(form) { ++form_.held_; }
        ~Batch() {
            if (--form_.held_ == 0 && form_.pending_) {
                form_.pending_ = false;
                form_.changed();
            }
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        const Form& form_;
    };

private:
    std::string name_;
    std::function<void()> onChanged_;
    mutable int held_ = 0;
    mutable bool pending_ = false;
};

}  // namespace quorvel
