#pragma once
// The questions the layer asks the user, and the provider that answers them:
// real dialogs on the screen, or a script in tests.

#include <functional>
#include <string>

namespace appgraphics {

enum class DialogKind { Message, YesNo, RequestText, OpenFile, SaveImage, Print };

struct DialogRequest {
    DialogKind kind = DialogKind::Message;
    int window = -1;      // the asking thread's current window
    int style = 0;        // DIALOG_INFORMATION.. for Message and YesNo
    std::string title;    // window title of the box
    std::string text;     // message, or the prompt of RequestText
    std::string initial;  // RequestText: the text shown; file boxes: the start folder
    std::string filter;   // file boxes: name filter, e.g. "Data (*.DAT)"
};

struct DialogAnswer {
    bool accepted = false;  // OK or Yes
    std::string text;       // the entered text or the chosen path
};

// Called on the asking thread, which waits for the answer.
using DialogProvider = std::function<DialogAnswer(const DialogRequest&)>;

// An empty provider restores the real dialogs.
void set_dialog_provider(DialogProvider provider);

}  // namespace appgraphics
