// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankfile/stream_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "framesource/naming.h"

namespace batch::stream_reading {

bool Whole(const QByteArray& text, int64_t low, int64_t high, int64_t& out) {
    const char* p = text.constData();
    const char* end = p + text.size();
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    if (p == end || end - p > 19) return false;
    uint64_t value = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + uint64_t(*p - '0');
    }
    if (value > uint64_t(std::numeric_limits<int64_t>::max())) return false;
    out = negative ? -int64_t(value) : int64_t(value);
    return out >= low && out <= high;
}

bool Number(const QByteArray& text, double& out) {
    const char* p = text.constData();
    const char* end = p + text.size();
    const auto digits = [&] {
        const char* from = p;
        while (p < end && *p >= '0' && *p <= '9') ++p;
        return p > from;
    };
    if (p < end && *p == '-') ++p;
    if (p < end && *p == '0') {
        ++p;
    } else if (!digits()) {
        return false;
    }
    if (p < end && *p == '.' && (++p, !digits())) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (!digits()) return false;
    }
    if (p != end) return false;
    const auto [stop, error] = std::from_chars(text.constData(), end, out);
    return error == std::errc() && stop == end && std::isfinite(out);
}

// ---- ByteStream ----

ByteStream::~ByteStream() {
    if (fd_ >= 0) close(fd_);
}

bool ByteStream::Open(const QString& path, QString& why) {
    fd_ = open(naming::PathBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd_ < 0 || fstat(fd_, &status) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno)).toLower();
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        why = QStringLiteral("is a directory");
        return false;
    }
    return true;
}

bool ByteStream::TakeLine(QByteArray& line, qsizetype limit) {
    for (;;) {
        if (at_ == size_ && !Fill()) return false;
        const char* from = buffer_ + at_;
        const auto* end = static_cast<const char*>(std::memchr(from, '\n', size_ - at_));
        const size_t length = end ? size_t(end - from) : size_ - at_;
        if (line.size() + qsizetype(length) > limit) return false;
        line.append(from, qsizetype(length));
        at_ += length;
        if (end) {
            ++at_;
            ++line_;
            return true;
        }
    }
}

qsizetype ByteStream::TakePlain(QByteArray& out) {
    if (at_ == size_ && !Fill()) return 0;
    size_t end = at_;
    while (end < size_ && buffer_[end] != '"' && buffer_[end] != '\\' && uchar(buffer_[end]) >= 0x20) ++end;
    const auto taken = qsizetype(end - at_);
    out.append(buffer_ + at_, taken);
    at_ = end;
    return taken;
}

bool ByteStream::Fill() {
    if (fd_ < 0 || error_ != 0) return false;
    for (;;) {
        const ssize_t n = read(fd_, buffer_, sizeof buffer_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error_ = errno;
        if (n <= 0) return false;
        at_ = 0;
        size_ = size_t(n);
        return true;
    }
}

// ---- Lines ----

bool Lines::Next(QByteArray& line) {
    line.clear();
    if (in_.Peek() < 0) return false;
    ++number_;
    if (!in_.TakeLine(line, kMaxLine) && in_.error() == 0 && in_.Peek() >= 0)
        return Fail(QStringLiteral("longer than %1 bytes").arg(kMaxLine));
    if (line.endsWith('\r')) line.chop(1);
    return in_.error() == 0;
}

bool Lines::Fail(const QString& what) {
    if (why_.isEmpty())
        why_ = what.isEmpty() ? QStringLiteral("line %1").arg(number_)
                              : QStringLiteral("line %1: %2").arg(number_).arg(what);
    return false;
}

// ---- Json ----

bool Json::Fail(const QString& what) {
    if (why_.isEmpty()) why_ = QStringLiteral("line %1: %2").arg(in_.Line()).arg(what);
    return false;
}

int Json::Next() {
    for (int c = in_.Peek(); c == ' ' || c == '\t' || c == '\n' || c == '\r'; c = in_.Peek()) in_.Get();
    return in_.Peek();
}

bool Json::Take(char c) {
    if (Next() != uchar(c)) return Fail(QStringLiteral("'%1' expected").arg(QLatin1Char(c)));
    in_.Get();
    return true;
}

bool Json::Word(const char* word) {
    Next();
    for (const char* p = word; *p; ++p) {
        if (in_.Get() != uchar(*p)) return Fail(QStringLiteral("bad JSON"));
    }
    return true;
}

bool Json::String(QString& out) {
    if (!Take('"')) return false;
    out.clear();
    QByteArray raw;
    const auto flush = [&] {
        out += QString::fromUtf8(raw);
        raw.clear();
    };
    for (qsizetype length = 0;; ++length) {
        length += in_.TakePlain(raw);
        if (length > kMaxString) return Fail(QStringLiteral("a string too long"));
        const int c = in_.Get();
        if (c < 0x20) return Fail(QStringLiteral("an unfinished string"));  // the end, a control byte
        if (c == '"') break;
        if (c != '\\') {
            raw += char(c);
            continue;
        }
        const int e = in_.Get();
        static constexpr char kEscaped[] = "\"\\/bfnrt";
        static constexpr char kMeant[] = "\"\\/\b\f\n\r\t";
        if (const char* known = e > 0 ? std::strchr(kEscaped, e) : nullptr; known && *known) {
            raw += kMeant[known - kEscaped];
        } else if (e == 'u') {
            QByteArray hex;
            for (int i = 0; i < 4; ++i) hex += char(std::max(in_.Get(), 0));
            if (!std::all_of(hex.begin(), hex.end(), [](char h) { return std::isxdigit(uchar(h)) != 0; }))
                return Fail(QStringLiteral("a bad \\u escape"));
            flush();
            out += QChar(char16_t(hex.toUInt(nullptr, 16)));
        } else {
            return Fail(QStringLiteral("a bad escape"));
        }
    }
    flush();
    return true;
}

bool Json::NumberText(QByteArray& out) {
    Next();
    out.clear();
    for (int c = in_.Peek(); (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
         c = in_.Peek()) {
        if (out.size() >= kMaxNumber) return Fail(QStringLiteral("a number too long"));
        out += char(in_.Get());
    }
    return !out.isEmpty() || Fail(QStringLiteral("a number expected"));
}

bool Json::WholeValue(int64_t low, int64_t high, int64_t& out, const char* key) {
    QByteArray text;
    if (!NumberText(text)) return false;
    return Whole(text, low, high, out) ||
           Fail(
               QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(QLatin1String(key)).arg(low).arg(high));
}

bool Json::NumberValue(double& out, const char* key) {
    QByteArray text;
    if (!NumberText(text)) return false;
    return Number(text, out) || Fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
}

bool Json::BoolValue(bool& out) {
    out = Next() == 't';
    return Word(out ? "true" : "false");
}

bool Json::Skip(int depth) {
    if (depth > kMaxDepth) return Fail(QStringLiteral("nested too deep"));
    switch (Next()) {
        case '{':
            return Object([&](const QString&) { return Skip(depth + 1); });
        case '[':
            return Array([&] { return Skip(depth + 1); });
        case '"': {
            QString text;
            return String(text);
        }
        case 't':
        case 'f': {
            bool flag = false;
            return BoolValue(flag);
        }
        case 'n':
            return Word("null");
        default: {
            QByteArray text;
            double value = 0;
            return NumberText(text) && (Number(text, value) || Fail(QStringLiteral("bad number")));
        }
    }
}

}  // namespace batch::stream_reading
