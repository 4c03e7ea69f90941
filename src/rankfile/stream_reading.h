// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Reading a file that anyone may have written, as a stream and strictly: a byte, a line or a
// JSON value at a time, each bounded, so that memory follows what the reader keeps rather than
// the file's size; numbers only as whole fields; CRLF line ends read as LF. Every refusal says
// its line.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <set>

namespace batch::stream_reading {

inline constexpr qsizetype kMaxLine = qsizetype(1) << 20;
inline constexpr qsizetype kMaxString = qsizetype(1) << 16;
inline constexpr qsizetype kMaxNumber = 64;
inline constexpr int kMaxDepth = 32;

// A whole number written as digits only (a "-" before them at most), between `low` and `high`.
bool Whole(const QByteArray& text, int64_t low, int64_t high, int64_t& out);
// A finite number as JSON writes it: -?(0|[1-9]D*)(.D+)?([eE][+-]?D+)?.
bool Number(const QByteArray& text, double& out);

// The file's bytes through a buffer.
class ByteStream {
public:
    ByteStream() = default;
    ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    // Opens the file; false with `why` for a folder or a file that cannot be opened.
    bool Open(const QString& path, QString& why);
    // The next byte, or -1 at the end of the file or on a read error (then error() is set).
    int Peek() {
        if (at_ == size_ && !Fill()) return -1;
        return static_cast<unsigned char>(buffer_[at_]);
    }
    int Get() {
        const int c = Peek();
        if (c < 0) return c;
        ++at_;
        if (c == '\n') ++line_;
        return c;
    }
    // Appends the bytes up to the next "\n" (taken, not appended) to `line`; false when the
    // line would pass `limit` bytes (the rest of it is left) or the file ended without one.
    bool TakeLine(QByteArray& line, qsizetype limit);
    // Appends the bytes of a JSON string up to a quote, a backslash or a control byte, within
    // what is buffered; how many.
    qsizetype TakePlain(QByteArray& out);
    int64_t Line() const { return line_; }
    int error() const { return error_; }

private:
    bool Fill();

    int fd_ = -1;
    char buffer_[65536];
    size_t at_ = 0;
    size_t size_ = 0;
    int64_t line_ = 1;
    int error_ = 0;
};

// A file's lines.
class Lines {
public:
    Lines(ByteStream& in, QString& why) : in_(in), why_(why) {}
    // The next line, without its end ("\n" or "\r\n"); false at the end or with `why`.
    bool Next(QByteArray& line);
    // Sets `why` to "line N" or "line N: WHAT", unless it holds a reason already; false.
    bool Fail(const QString& what = {});
    int64_t Number() const { return number_; }

private:
    ByteStream& in_;
    QString& why_;
    int64_t number_ = 0;
};

// JSON values as they come, read into the caller's own structures.
class Json {
public:
    Json(ByteStream& in, QString& why) : in_(in), why_(why) {}

    // Sets `why` to "line N: WHAT", unless it holds a reason already; false.
    bool Fail(const QString& what);
    // The next byte after blanks, not taken.
    int Next();
    bool Take(char c);
    bool Word(const char* word);
    bool IsNull() { return Next() == 'n'; }
    // A string, escapes decoded; a lone surrogate of an escape is kept (a name that is not UTF-8).
    bool String(QString& out);
    bool WholeValue(int64_t low, int64_t high, int64_t& out, const char* key);
    bool NumberValue(double& out, const char* key);
    bool BoolValue(bool& out);
    // A value of a key the caller does not read.
    bool Skip(int depth = 0);
    // Only blanks left.
    bool End() { return Next() < 0 || Fail(QStringLiteral("more after the JSON")); }

    // {"KEY": VALUE, ...}: `member` reads each value by its key; a key twice is refused.
    template <typename Member>
    bool Object(Member member) {
        if (!Take('{')) return false;
        std::set<QString> seen;
        if (Next() == '}') return in_.Get(), true;
        for (;;) {
            QString key;
            if (!String(key) || !Take(':')) return false;
            if (!seen.insert(key).second) return Fail(QStringLiteral("a key twice"));
            if (!member(key)) return false;
            if (Next() != ',') return Take('}');
            in_.Get();
        }
    }
    // [VALUE, ...]: `element` reads each.
    template <typename Element>
    bool Array(Element element) {
        if (!Take('[')) return false;
        if (Next() == ']') return in_.Get(), true;
        for (;;) {
            if (!element()) return false;
            if (Next() != ',') return Take(']');
            in_.Get();
        }
    }

private:
    bool NumberText(QByteArray& out);

    ByteStream& in_;
    QString& why_;
};

}  // namespace batch::stream_reading
