// Dialogs through the test provider, saving a window as an image and
// printing it to a PDF file.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/appgraphics.h"
#include "platform/core.h"
#include "platform/testdriver.h"

namespace ag = appgraphics;
namespace td = testdriver;
namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "kalvor_platform_test";
    fs::create_directories(dir);
    fs::remove(dir / name);
    return dir / name;
}

std::string first_bytes(const fs::path& path, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), static_cast<std::streamsize>(n));
    s.resize(static_cast<std::size_t>(in.gcount()));
    return s;
}

// The one real dialog of type T on the screen, nullptr when there is none.
template <class T>
T* shown_dialog() {
    T* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) found = d;
    }
    return found;
}

// Uses the real dialogs while it exists.
struct RealDialogs {
    RealDialogs() { ag::set_dialog_provider({}); }
    ~RealDialogs() { ag::set_dialog_provider(nullptr); }
};

}  // namespace

TEST(PlatformDialogs, AMessageShowsWithoutTrailingBlanksOfItsLines) {
    td::Session session;
    session.start([] {
        ag::initwindow(100, 100, "Owner");
        // Lines as the residual tests build them: LF and a blank, padded field.
        ag::dlgmessage(ag::DIALOG_INFORMATION, "Runs Test   \n Length = 4   \r\n   \n Done" + std::string(40, ' '));
        ag::dlgmessage(ag::DIALOG_ERROR, "Number of curve data sets out of bounds!");
        return 0;
    });
    auto d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, td::DialogKind::Message);
    EXPECT_EQ(d->title, "Information");
    EXPECT_EQ(d->text, "Runs Test\n Length = 4\n\n Done");
    EXPECT_EQ(d->window, td::find_window("Owner"));
    // The asking thread waits for the user: the program is idle meanwhile.
    EXPECT_TRUE(td::wait_idle());
    ASSERT_TRUE(td::answer_ok());
    d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->title, "Error");
    EXPECT_EQ(d->style, ag::DIALOG_ERROR);
    ASSERT_TRUE(td::answer_ok());
    ASSERT_TRUE(session.wait_finished());
    EXPECT_FALSE(td::answer_ok());  // nothing left to answer
}

TEST(PlatformDialogs, YesNoCountsAClosedBoxAsNo) {
    td::Session session;
    std::atomic<int> answers{0};
    session.start([&] {
        ag::initwindow(100, 100, "Ask");
        const bool first = ag::dlgyesno(ag::DIALOG_INFORMATION, "Is this the correct data file?");
        const bool second = ag::dlgyesno(ag::DIALOG_INFORMATION, "Again?");
        const bool third = ag::dlgyesno(ag::DIALOG_INFORMATION, "Once more?");
        answers = (first ? 1 : 0) + (second ? 2 : 0) + (third ? 4 : 0);
        return 0;
    });
    ASSERT_TRUE(td::wait_dialog());
    td::answer_yes();
    ASSERT_TRUE(td::wait_dialog());
    td::answer_no();
    ASSERT_TRUE(td::wait_dialog());
    td::answer_cancel();
    ASSERT_TRUE(session.wait_finished());
    EXPECT_EQ(answers, 1);
}

TEST(PlatformDialogs, RequestTextFillsTheFixedFieldOnlyOnOk) {
    td::Session session;
    std::string title(50, ' ');
    std::string label(40, ' ');
    std::atomic<bool> ok_first{false}, ok_second{true};
    session.start([&] {
        ag::initwindow(100, 100, "Plot Data");
        title.replace(0, 4, "Plot");
        ok_first = ag::dlgrequesttext(title, "Plot Label", "Title of Plot");
        label.replace(0, 1, "X");
        ok_second = ag::dlgrequesttext(label, "Abscissa Label", "X Axis Label");
        return 0;
    });
    auto d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, td::DialogKind::RequestText);
    EXPECT_EQ(d->title, "Plot Label");
    EXPECT_EQ(d->text, "Title of Plot");
    EXPECT_EQ(d->initial, "Plot");
    td::answer_text(std::string(60, 'T'));  // longer than the field
    ASSERT_TRUE(td::wait_dialog());
    td::answer_cancel();
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(ok_first);
    EXPECT_EQ(title, std::string(50, 'T'));
    EXPECT_FALSE(ok_second);
    EXPECT_EQ(label, "X" + std::string(39, ' '));
}

TEST(PlatformDialogs, OpenFileStartsInTheFolderAndReturnsThePathPadded) {
    td::Session session;
    std::string name(512, ' ');
    std::string small(20, ' ');
    std::atomic<bool> ok{false}, ok_small{true}, ok_cancel{true};
    session.start([&] {
        ag::initwindow(100, 100, "Main");
        name.replace(0, 16, "/data/fits/*.dat");
        ok = ag::dlgopenfile(name, "Data", "*.DAT", "Enter data file");
        small.replace(0, 5, "*.dat");
        ok_small = ag::dlgopenfile(small, "Data", "*.DAT", "Enter data file");
        ok_cancel = ag::dlgopenfile(small, "Data", "*.DAT", "Enter data file");
        return 0;
    });
    auto d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, td::DialogKind::OpenFile);
    EXPECT_EQ(d->title, "Enter data file");
    EXPECT_EQ(d->initial, "/data/fits/");
    EXPECT_EQ(d->filter, "Data (*.DAT)");
    td::answer_path("/data/fits/Enzyme.dat");
    // A path longer than the field would be cut into another file's name:
    // the call fails and leaves the field alone.
    ASSERT_TRUE(td::wait_dialog());
    td::answer_path("/data/fits/a_rather_long_name.dat");
    ASSERT_TRUE(td::wait_dialog());
    td::answer_cancel();
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(ok);
    EXPECT_EQ(name, "/data/fits/Enzyme.dat" + std::string(512 - 21, ' '));
    EXPECT_FALSE(ok_small);
    EXPECT_EQ(small, "*.dat" + std::string(15, ' '));
    EXPECT_FALSE(ok_cancel);
}

TEST(PlatformDialogs, ThePatternOfTheOpenBoxMatchesAnyCase) {
    const QStringList filters = ag::detail::name_filters("*.DAT");
    EXPECT_TRUE(QDir::match(filters, QStringLiteral("Enzyme.dat")));
    EXPECT_TRUE(QDir::match(filters, QStringLiteral("ENZYME.DAT")));
    EXPECT_TRUE(QDir::match(filters, QStringLiteral("mixed.DaT")));
    EXPECT_FALSE(QDir::match(filters, QStringLiteral("enzyme.txt")));
    EXPECT_EQ(ag::detail::name_filters("*.dat *.TXT").size(), 2);
}

TEST(PlatformImages, WriteImageFileAsksForANameAndSavesTheWindowAsPng) {
    td::Session session;
    const fs::path png = scratch("plot.png");
    const fs::path bmp = scratch("plot.bmp");
    std::atomic<bool> saved{false}, cancelled{true}, saved_bmp{false};
    session.start([&] {
        ag::initwindow(120, 80, "Plot Data");
        ag::setbkcolor(ag::creatergb(0, 255, 0));
        ag::clearviewport();
        ag::createbutton(10, 10, 50, 20, "Close", [] {});
        saved = ag::writeimagefile();
        cancelled = ag::writeimagefile();
        saved_bmp = ag::writeimagefile(bmp.string());
        return 0;
    });
    auto d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, td::DialogKind::SaveImage);
    td::answer_path(png.string());
    ASSERT_TRUE(td::wait_dialog());
    td::answer_cancel();
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(saved);
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(saved_bmp);
    std::ifstream in(png, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto img = td::decode_png(bytes);
    ASSERT_EQ(img.width, 120);
    ASSERT_EQ(img.height, 80);
    EXPECT_EQ(img.pixel(100, 70), ag::creatergb(0, 255, 0));
    EXPECT_NE(img.pixel(30, 20), ag::creatergb(0, 255, 0));  // the button is in the image
    EXPECT_EQ(first_bytes(bmp, 2), "BM");
}

TEST(PlatformImages, PrintImageWritesAPdfWhenThatIsChosen) {
    td::Session session;
    const fs::path pdf = scratch("plot.pdf");
    std::atomic<bool> printed{false}, cancelled{true};
    session.start([&] {
        ag::initwindow(200, 150, "Residuals");
        ag::setcolor(ag::BLUE);
        ag::line(0, 0, 199, 149);
        printed = ag::printimage();
        cancelled = ag::printimage();
        return 0;
    });
    auto d = td::wait_dialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, td::DialogKind::Print);
    td::answer_path(pdf.string());
    ASSERT_TRUE(td::wait_dialog());
    td::answer_cancel();
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(printed);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(first_bytes(pdf, 5), "%PDF-");
    EXPECT_GT(fs::file_size(pdf), 500u);
}

TEST(PlatformDialogs, RealDialogsShowWithoutBlockingTheGuiThread) {
    td::Session session;
    RealDialogs real;
    std::atomic<int> stage{0};
    std::atomic<bool> yes{false}, closed_is_yes{true}, ok{false};
    std::string text(10, ' ');
    std::string file(200, ' ');
    const fs::path data = scratch("Enzyme.DAT");
    std::ofstream(data) << "y = P1*X1\n";
    session.start([&] {
        ag::initwindow(100, 100, "Owner");
        ag::dlgmessage(ag::DIALOG_WARNING, "Watch out   ");
        stage = 1;
        yes = ag::dlgyesno(ag::DIALOG_INFORMATION, "Go on?");
        closed_is_yes = ag::dlgyesno(ag::DIALOG_INFORMATION, "Really?");
        stage = 2;
        text.replace(0, 4, "Plot");
        ok = ag::dlgrequesttext(text, "Plot Label", "Title of Plot");
        stage = 3;
        file.replace(0, data.parent_path().string().size() + 7, data.parent_path().string() + "/*.dat");
        ag::dlgopenfile(file, "Data", "*.dat", "Enter data file");
        return 0;
    });
    // The asking thread waits for the user; the GUI thread goes on (this test runs on it).
    ASSERT_TRUE(td::wait_idle());
    auto* box = shown_dialog<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Warning"));
    EXPECT_EQ(box->text(), QStringLiteral("Watch out"));
    box->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(stage, 1);
    box = shown_dialog<QMessageBox>();
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(td::wait_idle());
    box = shown_dialog<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Really?"));
    box->reject();  // gone without a button pressed: No
    ASSERT_TRUE(td::wait_idle());
    auto* input = shown_dialog<QInputDialog>();
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->textValue(), QStringLiteral("Plot"));
    input->setTextValue(QStringLiteral("Enzyme"));
    input->accept();
    ASSERT_TRUE(td::wait_idle());
    EXPECT_EQ(stage, 3);
    auto* chooser = shown_dialog<QFileDialog>();
    ASSERT_NE(chooser, nullptr);
    // The filter shown matches the upper-case file as well.
    EXPECT_TRUE(QDir::match(ag::detail::name_filters("*.dat"), QStringLiteral("Enzyme.DAT")));
    EXPECT_TRUE(chooser->nameFilters().front().startsWith(QStringLiteral("Data (")));
    chooser->reject();
    ASSERT_TRUE(session.wait_finished());
    EXPECT_TRUE(yes);
    EXPECT_FALSE(closed_is_yes);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, "Enzyme    ");
}
