// Text that the program owns: in a buffer of its own, so that nothing is allocated and
// nothing can throw. Every text the program handles has a bound that the platform sets (a
// path of MAX_PATH, a folder and a name joined, a profile value of 1023 characters), and
// the capacities hold them all; a text that would still not fit is never cut: it becomes
// empty and says so, so that whatever it was meant for fails as a refused platform call does.
// It goes on saying so through every part taken of it, every text it is joined to and every
// conversion, so that it can never pass for an ordinary empty text (a relative path, say).
#pragma once

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <utility>

template <class C, size_t N>
class TText {
public:
    static constexpr size_t kCapacity = N;  // characters, the NUL not counted

    TText() { text_[0] = C(); }
    TText(const C* text) : TText() { Append(text); }
    TText(const C* text, size_t n) : TText() { Append(text, n); }
    // Any string-like value with data() and size() of the same characters, a test's among them.
    template <class S, class = std::enable_if_t<std::is_same_v<
                           std::remove_cv_t<std::remove_pointer_t<decltype(std::declval<const S&>().data())>>, C>>>
    TText(const S& text) : TText() {
        Append(text.data(), text.size());
    }
    template <size_t M>
    explicit TText(const TText<C, M>& text) : TText() {
        *this += text;
    }

    const C* c_str() const { return text_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool TooLong() const { return tooLong_; }
    C operator[](size_t i) const { return text_[i]; }
    C back() const { return size_ ? text_[size_ - 1] : C(); }

    // A text that does not fit is refused whole and leaves this one empty and too long.
    TText& Append(const C* text, size_t n) {
        if (tooLong_ || n > N - size_) return Keep(N + 1);
        std::memmove(text_ + size_, text, n * sizeof(C));
        text_[size_ += n] = C();
        return *this;
    }
    TText& Append(const C* text) { return Append(text, Length(text)); }
    TText& operator+=(const C* text) { return Append(text); }
    TText& operator+=(C c) { return Append(&c, 1); }
    template <size_t M>
    TText& operator+=(const TText<C, M>& text) {
        return text.TooLong() ? Keep(N + 1) : Append(text.c_str(), text.size());
    }

    // The first n characters, and those from index i on; of a text too long, that text.
    TText Left(size_t n) const { return tooLong_ ? *this : TText(text_, n < size_ ? n : size_); }
    TText From(size_t i) const { return tooLong_ || i >= size_ ? Left(0) : TText(text_ + i, size_ - i); }

    // For a platform call that fills or changes the buffer in place: room for kCapacity
    // characters and the NUL. Keep then takes the n characters the call reports; a count
    // beyond the room (a call that needed more) leaves the text empty and too long.
    C* Room() { return text_; }
    TText& Keep(size_t n) {
        tooLong_ = n > N;
        text_[size_ = tooLong_ ? 0 : n] = C();
        return *this;
    }
    // The text that stands for one that did not fit.
    static TText Refused() {
        TText text;
        text.Keep(N + 1);
        return text;
    }

    static size_t Length(const C* text) {
        if constexpr (std::is_same_v<C, char>) return std::strlen(text);
        else return std::wcslen(text);
    }

private:
    C text_[N + 1];
    size_t size_ = 0;
    bool tooLong_ = false;
};

template <class C, size_t N>
TText<C, N> operator+(TText<C, N> a, const C* b) {
    return a += b;
}
template <class C, size_t N>
TText<C, N> operator+(TText<C, N> a, C b) {
    return a += b;
}
template <class C, size_t N, size_t M>
TText<C, N> operator+(TText<C, N> a, const TText<C, M>& b) {
    return a += b;
}
template <class C, size_t N>
bool operator==(const TText<C, N>& a, const C* b) {
    return a.size() == TText<C, N>::Length(b) && std::memcmp(a.c_str(), b, a.size() * sizeof(C)) == 0;
}
template <class C, size_t N, size_t M>
bool operator==(const TText<C, N>& a, const TText<C, M>& b) {
    return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size() * sizeof(C)) == 0;
}
template <class C, size_t N, class B>
bool operator!=(const TText<C, N>& a, const B& b) {
    return !(a == b);
}

// Paths and names as the NT family knows them, and what the profile functions read: 1023
// characters hold a folder and a name of MAX_PATH each, and the longest value read.
using TWide = TText<wchar_t, 1023>;
// Text in the ANSI code page, where a character may take two bytes: room for any wide text
// above in the code page.
using TAnsi = TText<char, 2047>;
