#pragma once
// The fixed texts of the program: the splash and about texts, and the six
// windows of the Help menu with the texts behind their Help buttons. Lines
// are joined by CR LF; texts are UTF-8.

#include <string>
#include <string_view>

namespace helptexts {

// One Help-menu window: its heading, the line count that sizes it, the body
// and the text of its Help button.
struct TextWindow {
    std::string_view title;
    int nlines = 0;
    std::string body;
    std::string help;
};

// The splash text: title line, description and notice block.
std::string splash_text();
// The about box: title, the four description lines and the version block.
std::string about_text();

// The Help buttons of the results window and of the x/y data window.
std::string results_help();
std::string xydata_help();

TextWindow example1();   // "Example #1 Data File"
TextWindow example2();   // "Example #2 Data File"
TextWindow example3();   // "Example #3 Data File"
TextWindow operators();  // "Model Operators"
TextWindow overview();   // "Kalvor_UDF Overview"
TextWindow methods();    // "NLLSQ Methods"

}  // namespace helptexts
