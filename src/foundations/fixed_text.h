#pragma once
// A text of fixed declared length, blank-padded on the right.
//
// The run state, the data-file readers and the report hold their texts at a
// declared length: assigning a longer value cuts it, a shorter one is padded
// with blanks, and the trimmed length is the position of the last non-blank.
// The string library edits such texts in place through str(), whose size is
// the declared length and must never change.

#include <cstddef>
#include <string>
#include <string_view>

namespace kalvor {

class FixedText {
public:
    explicit FixedText(std::size_t length, std::string_view value = {})
        : buf_(length, ' ') { assign(value); }

    FixedText& operator=(std::string_view value) { assign(value); return *this; }

    // Cut or blank-pad value to the declared length.
    void assign(std::string_view value) {
        const std::size_t n = value.size() < buf_.size() ? value.size() : buf_.size();
        buf_.replace(0, n, value.substr(0, n));
        buf_.replace(n, buf_.size() - n, buf_.size() - n, ' ');
    }

    std::size_t length() const { return buf_.size(); }

    // The whole buffer, declared length included; edit in place, never resize.
    std::string& str() { return buf_; }
    const std::string& str() const { return buf_; }
    std::string_view view() const { return buf_; }
    operator std::string_view() const { return buf_; }

    // Position of the last non-blank character, 0 when all blank.
    std::size_t len_trim() const {
        const auto last = buf_.find_last_not_of(' ');
        return last == std::string::npos ? 0 : last + 1;
    }
    std::string trimmed() const { return buf_.substr(0, len_trim()); }
    bool blank() const { return len_trim() == 0; }

    // Character at 1-based position pos (pos in 1..length()).
    char operator()(std::size_t pos) const { return buf_[pos - 1]; }
    char& operator()(std::size_t pos) { return buf_[pos - 1]; }

    // Equal when the texts agree after blank-padding the shorter one.
    friend bool operator==(const FixedText& a, std::string_view b) { return equal_padded(a.buf_, b); }
    friend bool operator==(const FixedText& a, const FixedText& b) { return equal_padded(a.buf_, b.buf_); }

    static bool equal_padded(std::string_view a, std::string_view b) {
        if (a.size() < b.size()) std::swap(a, b);
        return a.substr(0, b.size()) == b && a.find_first_not_of(' ', b.size()) == std::string_view::npos;
    }

private:
    std::string buf_;
};

// FixedText with its length in the type, for members of the run state.
template <std::size_t N>
class Text : public FixedText {
public:
    Text(std::string_view value = {}) : FixedText(N, value) {}
    Text(const char* value) : FixedText(N, value) {}
    Text& operator=(std::string_view value) { assign(value); return *this; }
};

}  // namespace kalvor
