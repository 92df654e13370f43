// The traffic of a failed action: every byte on the line, kept in a file of its own.
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "records/durable.h"
#include "records/records.h"

using namespace durable;

// ------------------------------------------------------------------ traffic

void TTrafficRecorder::Add(TimePoint at, const char* dir, const uint8_t* bytes, int32_t count)
{
    std::lock_guard<std::mutex> g(mu_);
    if (lines_.empty())
        start_ = at;
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f %s", std::chrono::duration<double, std::milli>(at - start_).count(), dir);
    std::string s = head;
    char h[4];
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(h, sizeof h, " %02X", bytes[i]);
        s += h;
    }
    lines_.push_back(s);
}

void TTrafficRecorder::OnError(int32_t code, int systemError, TimePoint at)
{
    std::lock_guard<std::mutex> g(mu_);
    if (lines_.empty())
        start_ = at;
    char b[160];
    std::snprintf(b, sizeof b, "%10.3f !! driver error %d (system error %d: %s)",
                  std::chrono::duration<double, std::milli>(at - start_).count(), code, systemError,
                  std::strerror(systemError));
    lines_.push_back(b);
}

void TTrafficRecorder::Clear()
{
    std::lock_guard<std::mutex> g(mu_);
    lines_.clear();
}

bool TTrafficRecorder::Empty() const
{
    std::lock_guard<std::mutex> g(mu_);
    return lines_.empty();
}

std::string TTrafficRecorder::Text() const
{
    std::lock_guard<std::mutex> g(mu_);
    std::string s;
    for (const auto& l : lines_)
        s += l + "\n";
    return s;
}

QString TServiceRecords::SaveTraffic(const std::string& text, const QString& action)
{
    try {
        const QString dir = DataFolder() + u"/traffic"_qs;
        const QString temp = WriteTemporary(dir, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
        return u"traffic/"_qs + PublishUnique(temp, dir, TimeName() + u'-' + action, u".log"_qs);
    } catch (const std::exception&) {
        return {};
    }
}

