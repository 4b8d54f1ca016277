// The fixed texts: the example windows agree with the example data files,
// and every text fits the field its window keeps it in.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "shell/helptexts.h"

namespace {

std::vector<std::string> split_crlf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

std::vector<std::string> file_lines(const std::string& name) {
    std::ifstream in(std::string(KALVOR_SOURCE_DIR) + "/data/examples/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string squeeze(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c != ' ') out += c;
    }
    return out;
}

}  // namespace

// The example windows show the example data files (the blanks between
// values may differ); the model line holds the formula alone, so that a copy
// of the window fits as the file does.
TEST(ExampleWindows, ShowTheExampleDataFiles) {
    const struct {
        helptexts::TextWindow window;
        const char* file;
    } cases[] = {{helptexts::example1(), "Michaelis-Menten.dat"},
                 {helptexts::example2(), "Hougen.dat"},
                 {helptexts::example3(), "Michaelis-Menten-3-Curves.dat"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto shown = split_crlf(c.window.body);
        const auto file = file_lines(c.file);
        ASSERT_FALSE(file.empty());
        ASSERT_EQ(shown.size(), file.size());
        for (std::size_t i = 0; i < file.size(); ++i) {
            EXPECT_EQ(squeeze(shown[i]), squeeze(file[i])) << "line " << i + 1;
        }
        EXPECT_EQ(split_crlf(c.window.help).front(), "Data file format:");
        EXPECT_NE(c.window.help.find("The last line of the data file must contain the word \"END\" to finish."),
                  std::string::npos);
    }
    EXPECT_EQ(split_crlf(helptexts::example1().body)[5], "  5      3.2     !<-- Data in columns: X1, Y");
}

TEST(TextWindows, TitlesLineCountsAndFieldSizes) {
    const struct {
        helptexts::TextWindow window;
        const char* title;
        int nlines;
        std::size_t body_field, help_field;
    } cases[] = {
        {helptexts::example1(), "Example input data file format: Michaelis-Menten.dat", 21, 1024, 576},
        {helptexts::example2(), "Example input data file format: Hougen.dat", 21, 1088, 576},
        {helptexts::example3(), "Example input data file format: Michaelis-Menten 3 Curves", 30, 1250, 576},
        {helptexts::operators(), "Mathematical and Logical Operators", 25, 1408, 1152},
        {helptexts::overview(), "Kalvor_UDF Overview:", 26, 2100, 1100},
        {helptexts::methods(), "Kalvor_UDF - Nonlinear Regression Curve-Fitting Methods:", 70, 2500, 750},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(c.window.title, c.title);
        EXPECT_LE(c.window.title.size(), 64u);
        EXPECT_EQ(c.window.nlines, c.nlines);
        EXPECT_LE(c.window.body.size(), c.body_field);
        EXPECT_LE(c.window.help.size(), c.help_field);
    }
}

TEST(TextWindows, OperatorListAndStepsToRun) {
    const auto ops = split_crlf(helptexts::operators().body);
    EXPECT_EQ(ops.front(), "MATHEMATICAL: +, -, *, /, ^ or **");
    EXPECT_EQ(ops.back(), "DG = 57.2957795.. radians to degrees");
    const auto examples = split_crlf(helptexts::operators().help);
    EXPECT_EQ(examples.front(), "EXAMPLES:");
    EXPECT_EQ(examples.back(), "(P2!P1)      -> Max(P2,P1)");

    const auto steps = split_crlf(helptexts::overview().help);
    ASSERT_EQ(steps.size(), 20u);
    EXPECT_EQ(steps[0], "Steps to run the analysis:");
    EXPECT_EQ(steps[2], "   1.1 1st line: User-defined function (UDF)");
    EXPECT_EQ(steps[7], "      1.5.1 Masks can be FALSE, F, false, f, or .FALSE.");
    EXPECT_EQ(steps[13], "   4.1 UDF(X1,X3, P1,P2) or UDF(X1, P1,P2,P4) is NOT allowed");
    EXPECT_EQ(steps[19], "10. Select type of Plot to display the plotted data.");
    EXPECT_EQ(split_crlf(helptexts::overview().body).front(), "");

    const auto methods = helptexts::methods().body;
    std::size_t at = 0;
    for (const char* heading :
         {"VARIABLE METRIC QUADRATIC PROGRAMMING (VMQP) METHOD", "LEVENBERG-MARQUARDT METHOD",
          "CONJUGATE GRADIENT METHOD", "HOOKE-JEEVES SEARCH METHOD", "RANDOM SEARCH METHOD",
          "DIFFERENTIAL EVOLUTION METHOD"}) {
        const std::size_t found = methods.find(heading, at);
        ASSERT_NE(found, std::string::npos) << heading;
        at = found;
    }
}

TEST(SplashText, LayoutAndLength) {
    const std::string text = helptexts::splash_text();
    const auto lines = split_crlf(text);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "*Kalvor_UDF\xe2\x84\xa2 - Nonlinear Regression Curve-Fitting");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Kalvor_UDF is a nonlinear regression optimization program using");
    EXPECT_EQ(lines[3], "Hooke-Jeeves, Random Search, Conjugate Gradient, Simplex,");
    EXPECT_EQ(lines[5].size(), 56u);
    EXPECT_EQ(lines[5].back(), '.');
    EXPECT_EQ(lines[6], "");
    // Above 256 bytes: the largest splash window; within its 640-byte field.
    EXPECT_GT(text.size(), 256u);
    EXPECT_LE(text.size(), 640u);
}

TEST(AboutText, TitleDescriptionAndVersion) {
    const std::string text = helptexts::about_text();
    const auto lines = split_crlf(text);
    EXPECT_EQ(lines[0], "*Kalvor_UDF\xe2\x84\xa2  - Nonlinear Regression Curve-Fitting");
    const auto splash = split_crlf(helptexts::splash_text());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(lines[1 + i], splash[2 + i]);
    EXPECT_EQ(lines[5], "");
    EXPECT_NE(text.find("Version 2.5"), std::string::npos);
    EXPECT_LE(text.size(), 640u);
}

TEST(ResultHelp, TheViewsHelpTextsFitTheirField) {
    const auto results = split_crlf(helptexts::results_help());
    ASSERT_EQ(results.size(), 32u);
    EXPECT_EQ(results[0], "Kalvor_UDF uses nonlinear regression to curve-fit data to");
    EXPECT_EQ(results[3], "data points. When no further improvement in the fit can be");
    EXPECT_EQ(results.back(), "parameter guesses, the data noise, and model parameters.");
    EXPECT_LE(helptexts::results_help().size(), 2560u);

    const std::string data = helptexts::xydata_help();
    EXPECT_EQ(split_crlf(data)[0], "Kalvor_UDF uses nonlinear regression to curve-fit data to");
    EXPECT_NE(data.find("\r\n    |Residuals/(RMS*Sqrt(1-Hii))/StdDevRes| > tau criterion\r\n"), std::string::npos);
    EXPECT_LE(data.size(), 2560u);
}
