// Dialogs, saving a window as an image and printing it. The asking thread
// waits; the GUI thread only shows the box and goes on with its events.

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include <cctype>

#include "platform/core.h"

namespace appgraphics {

namespace {

// Never destroyed: a callback thread may still ask while the process exits.
struct ProviderSlot {
    std::mutex mutex;
    DialogProvider provider;
};

ProviderSlot& provider_slot() {
    static auto* slot = new ProviderSlot;
    return *slot;
}

DialogProvider provider() {
    std::lock_guard lock(provider_slot().mutex);
    return provider_slot().provider;
}

std::string kind_title(int kind) {
    switch (kind) {
    case DIALOG_WARNING: return "Warning";
    case DIALOG_ERROR: return "Error";
    default: return "Information";
    }
}

QMessageBox::Icon kind_icon(int kind) {
    switch (kind) {
    case DIALOG_WARNING: return QMessageBox::Warning;
    case DIALOG_ERROR: return QMessageBox::Critical;
    default: return QMessageBox::Information;
    }
}

// The message as shown: every line without trailing blanks, no empty lines at the end.
std::string message_text(std::string_view text) {
    std::string out;
    bool first = true;
    for (auto line : detail::split_lines(text)) {
        if (!first) out += '\n';
        first = false;
        out += detail::rtrim(line);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

using Deliver = std::function<void(DialogAnswer)>;

// Shows the dialog that make builds on the GUI thread and waits for the
// answer it delivers; a dialog that goes away unanswered counts as Cancel.
DialogAnswer show_real(const std::function<QDialog*(const Deliver&)>& make) {
    struct Pending {
        bool done = false;
        DialogAnswer answer;
    };
    auto pending = std::make_shared<Pending>();
    Deliver deliver = [pending](DialogAnswer answer) {
        std::lock_guard lock(detail::state_mutex());
        if (pending->done) return;
        pending->done = true;
        pending->answer = std::move(answer);
        detail::state_changed().notify_all();
    };
    const bool shown = detail::run_on_gui([&] {
        QDialog* dialog = make(deliver);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::ApplicationModal);
        QObject::connect(dialog, &QObject::destroyed, [deliver] { deliver({}); });
        dialog->show();
    });
    if (!shown) return {};
    auto released = [pending] { return pending->done || !detail::gui_running(); };
    detail::WaitMark mark(detail::ThreadWait::Dialog, released);
    std::unique_lock lock(detail::state_mutex());
    detail::wait_state(lock, released);
    mark.end_locked();
    return pending->answer;
}

QFileDialog* file_dialog(const DialogRequest& request, QFileDialog::AcceptMode mode, const Deliver& deliver) {
    auto* dialog = new QFileDialog(nullptr, detail::qtext(request.title), detail::qtext(request.initial));
    dialog->setAcceptMode(mode);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, deliver](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty()) {
            deliver({true, files.front().toStdString()});
        } else {
            deliver({});
        }
    });
    return dialog;
}

DialogAnswer real_dialog(const DialogRequest& request) {
    return show_real([&](const Deliver& deliver) -> QDialog* {
        switch (request.kind) {
        case DialogKind::Message:
        case DialogKind::YesNo: {
            const bool yes_no = request.kind == DialogKind::YesNo;
            auto* box = new QMessageBox(kind_icon(request.style), detail::qtext(request.title),
                                        detail::qtext(request.text),
                                        yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
            box->setTextFormat(Qt::PlainText);
            if (yes_no) box->setEscapeButton(QMessageBox::No);
            // Only Yes counts as Yes: a box closed any other way answers No.
            QObject::connect(box, &QDialog::finished, box, [box, deliver] {
                const QAbstractButton* yes = box->button(QMessageBox::Yes);
                deliver({yes && box->clickedButton() == yes, ""});
            });
            return box;
        }
        case DialogKind::RequestText: {
            auto* input = new QInputDialog;
            input->setInputMode(QInputDialog::TextInput);
            input->setWindowTitle(detail::qtext(request.title));
            input->setLabelText(detail::qtext(request.text));
            input->setTextValue(detail::qtext(request.initial));
            QObject::connect(input, &QDialog::finished, input, [input, deliver](int result) {
                deliver({result == QDialog::Accepted, input->textValue().toStdString()});
            });
            return input;
        }
        case DialogKind::OpenFile: {
            auto* dialog = file_dialog(request, QFileDialog::AcceptOpen, deliver);
            dialog->setFileMode(QFileDialog::ExistingFile);
            const auto open = request.filter.find('(');
            const auto close = request.filter.rfind(')');
            const std::string name = detail::rtrim(request.filter.substr(0, open));
            const std::string patterns = open != std::string::npos && close > open
                                             ? request.filter.substr(open + 1, close - open - 1)
                                             : request.filter;
            dialog->setNameFilters({detail::qtext(name) + QStringLiteral(" (") +
                                        detail::name_filters(patterns).join(QLatin1Char(' ')) + QLatin1Char(')'),
                                    QStringLiteral("All files (*)")});
            return dialog;
        }
        default: {
            auto* dialog = file_dialog(request, QFileDialog::AcceptSave, deliver);
            dialog->setNameFilters({QStringLiteral("PNG image (*.png)"), QStringLiteral("BMP image (*.bmp)"),
                                    QStringLiteral("JPEG image (*.jpg *.jpeg)")});
            dialog->setDefaultSuffix(QStringLiteral("png"));
            return dialog;
        }
        }
    });
}

// Asks the provider, or the user through real.
DialogAnswer answer(DialogRequest request, const std::function<DialogAnswer(const DialogRequest&)>& real) {
    request.window = getcurrentwindow();
    refreshall();
    if (const auto p = provider()) return p(request);
    return real(request);
}

// Copies text into a fixed-length field; a field of size 0 takes any length.
void fill_field(std::string& field, const std::string& text) {
    if (field.empty()) {
        field = text;
        return;
    }
    const std::size_t n = std::min(text.size(), field.size());
    field.replace(0, n, text, 0, n);
    field.replace(n, field.size() - n, field.size() - n, ' ');
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool paint_image(QPrinter& printer, const QImage& image) {
    QPainter p;
    if (!p.begin(&printer)) return false;
    const QRect page = p.viewport();
    const QSize size = image.size().scaled(page.size(), Qt::KeepAspectRatio);
    p.drawImage(QRect(page.topLeft(), size), image);
    return p.end();
}

// The content of the caller's open current window, null when there is none.
QImage current_image() {
    const auto window = detail::current_window();
    if (!window || !iswindowopen(window->id)) return {};
    return detail::on_gui([&] { return detail::window_image(*window); });
}

}  // namespace

void set_dialog_provider(DialogProvider p) {
    std::lock_guard lock(provider_slot().mutex);
    provider_slot().provider = std::move(p);
}

namespace detail {

DialogAnswer ask(DialogRequest request) { return answer(std::move(request), real_dialog); }

QStringList name_filters(std::string_view patterns) {
    QStringList out;
    std::string pattern;
    auto flush = [&] {
        if (pattern.empty()) return;
        QString converted;
        for (const QChar c : qtext(pattern)) {
            if (c.isLetter() && c.toLower() != c.toUpper()) {
                converted += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
            } else {
                converted += c;
            }
        }
        out.append(converted);
        pattern.clear();
    };
    for (char c : patterns) {
        if (c == ' ' || c == ';' || c == ',') {
            flush();
        } else {
            pattern += c;
        }
    }
    flush();
    return out;
}

}  // namespace detail

namespace {

DialogAnswer ask_box(DialogKind box, int kind, std::string_view text) {
    DialogRequest request;
    request.kind = box;
    request.style = kind;
    request.title = kind_title(kind);
    request.text = message_text(text);
    return detail::ask(std::move(request));
}

}  // namespace

void dlgmessage(int kind, std::string_view text) { ask_box(DialogKind::Message, kind, text); }

bool dlgyesno(int kind, std::string_view text) { return ask_box(DialogKind::YesNo, kind, text).accepted; }

bool dlgrequesttext(std::string& text, std::string_view title, std::string_view prompt) {
    DialogRequest request;
    request.kind = DialogKind::RequestText;
    request.title = detail::rtrim(title);
    request.text = detail::rtrim(prompt);
    request.initial = detail::rtrim(text);
    const DialogAnswer reply = detail::ask(std::move(request));
    if (!reply.accepted) return false;
    fill_field(text, reply.text);
    return true;
}

bool dlgopenfile(std::string& filename, std::string_view filter_name, std::string_view filter,
                 std::string_view title) {
    const std::string given = detail::rtrim(filename);
    const auto slash = given.rfind('/');
    DialogRequest request;
    request.kind = DialogKind::OpenFile;
    request.title = detail::rtrim(title);
    request.initial = slash == std::string::npos ? std::string() : given.substr(0, slash + 1);
    request.filter = detail::rtrim(filter_name) + " (" + detail::rtrim(filter) + ")";
    const DialogAnswer reply = detail::ask(std::move(request));
    if (!reply.accepted || reply.text.empty()) return false;
    // A path cut to the field would name another file.
    if (!filename.empty() && reply.text.size() > filename.size()) return false;
    fill_field(filename, reply.text);
    return true;
}

bool writeimagefile() {
    if (!iswindowopen(getcurrentwindow())) return false;
    DialogRequest request;
    request.kind = DialogKind::SaveImage;
    request.title = "Save Image";
    request.filter = "Images (*.png *.bmp *.jpg *.jpeg)";
    const DialogAnswer reply = detail::ask(std::move(request));
    return reply.accepted && !reply.text.empty() && writeimagefile(reply.text);
}

bool writeimagefile(std::string_view filename) {
    const QImage image = current_image();
    if (image.isNull()) return false;
    const std::string name(filename);
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : lower(name.substr(dot + 1));
    const char* format = ext == "bmp" ? "BMP" : ext == "jpg" || ext == "jpeg" ? "JPG" : "PNG";
    return image.save(detail::qtext(name), format);
}

bool printimage() {
    const QImage image = current_image();
    if (image.isNull()) return false;
    DialogRequest request;
    request.kind = DialogKind::Print;
    request.title = "Print";
    bool printed_by_dialog = false;
    const DialogAnswer reply = answer(std::move(request), [&](const DialogRequest&) {
        printed_by_dialog = true;
        return show_real([&](const Deliver& deliver) -> QDialog* {
            auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
            auto* dialog = new QPrintDialog(printer.get());
            QObject::connect(dialog, &QDialog::finished, dialog, [printer, image, deliver](int result) {
                deliver({result == QDialog::Accepted && paint_image(*printer, image), ""});
            });
            return dialog;
        });
    });
    if (!reply.accepted) return false;
    if (printed_by_dialog) return true;
    // Scripted answer: a path means a PDF file, none the default printer.
    return detail::on_gui([&] {
        QPrinter printer(QPrinter::HighResolution);
        if (!reply.text.empty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(detail::qtext(reply.text));
        }
        return paint_image(printer, image);
    });
}

}  // namespace appgraphics
