// SPDX-License-Identifier: MIT
#include "report/walk_protocol.h"

#include <cstring>

#include "platform/fixed_field.h"
#include "report/walk_limits.h"

namespace zv {

std::string KnownDeafnessReason() {
  return "the device left GETBULK requests unanswered in two walks in a row; the walk went by GETNEXT "
         "(GETBULK is tried again " +
         std::to_string(kDeafToGetBulkFor.count()) + " minutes after)";
}
namespace {

constexpr std::size_t kMessageHeaderBytes = 5;
constexpr std::size_t kLongestName = ZV_PROFILE_NAME_SIZE - 1;

enum class MessageKind : uint8_t { kNote = 1, kSettings = 2, kRow = 3, kEnd = 4 };

// The longest payload of each kind: its fixed fields and its texts at
// their bounds.
std::size_t LongestPayload(MessageKind kind) {
  switch (kind) {
    case MessageKind::kNote: return 1 + 4 + kMaxWalkNoteBytes;
    case MessageKind::kSettings: return 3;
    case MessageKind::kRow: return 2 + 4 * 4 + 2 * (4 + kLongestName);
    case MessageKind::kEnd: return 4 + 4 + 4 + 1 + 1 + 1 + 4;
  }
  return 0;
}

// Fixed-width little-endian integers, length-prefixed strings.
class ByteWriter {
 public:
  void Unsigned(uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  }
  void Text(std::string_view text) {
    Unsigned(text.size(), 4);
    out_.append(text);
  }
  void operator()(bool value) { Unsigned(value ? 1 : 0, 1); }
  void operator()(int32_t value) { Unsigned(static_cast<uint32_t>(value), 4); }
  void operator()(int64_t value) { Unsigned(static_cast<uint64_t>(value), 8); }
  void operator()(const std::string& value) { Text(value); }
  void Reserve(std::size_t size) { out_.reserve(size); }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  bool Unsigned(uint64_t* value, int bytes) {
    if (!ok_ || bytes_.size() < static_cast<std::size_t>(bytes)) return ok_ = false;
    *value = 0;
    for (int i = 0; i < bytes; ++i) *value |= uint64_t{static_cast<unsigned char>(bytes_[i])} << (8 * i);
    bytes_.remove_prefix(bytes);
    return true;
  }
  bool Text(std::string_view* text) {
    uint64_t length = 0;
    if (!Unsigned(&length, 4) || bytes_.size() < length) return ok_ = false;
    *text = bytes_.substr(0, length);
    bytes_.remove_prefix(length);
    return true;
  }
  // A byte that must be 0 or 1.
  void operator()(bool& value) {
    uint64_t raw = 0;
    if (Unsigned(&raw, 1)) {
      value = raw == 1;
      if (raw > 1) ok_ = false;
    }
  }
  void operator()(int32_t& value) {
    uint64_t raw = 0;
    if (Unsigned(&raw, 4)) value = static_cast<int32_t>(static_cast<uint32_t>(raw));
  }
  void operator()(int64_t& value) {
    uint64_t raw = 0;
    if (Unsigned(&raw, 8)) value = static_cast<int64_t>(raw);
  }
  void operator()(std::string& value) {
    std::string_view text;
    if (Text(&text)) value.assign(text);
  }
  // True when everything read so far was there and nothing is left.
  bool Finished() const { return ok_ && bytes_.empty(); }

 private:
  std::string_view bytes_;
  bool ok_ = true;
};

std::string Message(MessageKind kind, const std::string& payload) {
  ByteWriter header;
  header.Unsigned(static_cast<uint8_t>(kind), 1);
  header.Unsigned(payload.size(), 4);
  return header.Take() + payload;
}

// The notes a walk's process may send (a list problem is the service's own).
bool NoteFromWalk(uint64_t note) {
  switch (static_cast<WalkNote>(note)) {
    case WalkNote::kDevice:
    case WalkNote::kReason:
    case WalkNote::kDetail:
    case WalkNote::kCount: return true;
    case WalkNote::kList: return false;
  }
  return false;
}

bool KnownResult(int32_t result) { return result >= -2 && result <= 2; }

// A name field's text as the spool keeps it: at most 31 bytes, no zero byte.
bool FitsNameField(std::string_view text) { return text.size() <= kLongestName && text.find('\0') == text.npos; }

// The fixed fields of each message, listed once for its writer and its
// reader (a ByteWriter or a ByteReader), in the order of their bytes.
template <typename End, typename Visit>
void ForEachEndField(End& end, Visit&& visit) {
  visit(end.result);
  visit(end.spool_count);
  visit(end.variables_found);
  visit(end.deaf_to_bulk);
  visit(end.mibs_not_loaded);
  visit(end.bulk_answered);
  visit(end.whole_repetitions);
}

template <typename Record, typename Visit>
void ForEachRowNumberField(Record& record, Visit&& visit) {
  visit(record.IndexOnDevice);
  visit(record.Location);
  visit(record.ProfileClass);
  visit(record.ProfileAvailability);
}

// The job's fields after its arguments, each listed once for the writer,
// the sizing and the reader alike.
template <typename Job, typename Visit>
void ForEachJobSetting(Job& job, Visit& visit) {
  ForEachWalkStateField(job.state, visit);
  visit(job.device_deaf_to_bulk);
  visit(job.mibs_on_trial);
  visit(job.start_repetitions);
}

// The bytes of `job`'s encoding, counted before it is written.
std::size_t EncodedJobSize(const WalkJob& job) {
  ByteWriter fixed;
  ForEachJobSetting(job, fixed);
  std::size_t size = 4 + fixed.Take().size();
  for (const std::string& argument : job.arguments) size += 4 + argument.size();
  return size;
}

}  // namespace

std::string EncodeWalkJob(const WalkJob& job) {
  // Written into one buffer of its final size: growing it would leave
  // copies of the arguments (pass phrases among them) behind.
  ByteWriter writer;
  writer.Reserve(EncodedJobSize(job));
  writer.Unsigned(job.arguments.size(), 4);
  for (const std::string& argument : job.arguments) writer(argument);
  ForEachJobSetting(job, writer);
  return writer.Take();
}

bool DecodeWalkJob(std::string_view bytes, WalkJob* job) {
  if (bytes.size() > kMaxWalkJobBytes) return false;
  ByteReader reader(bytes);
  uint64_t count = 0;
  if (!reader.Unsigned(&count, 4) || count > bytes.size()) return false;
  job->arguments.assign(count, std::string());
  for (std::string& argument : job->arguments) reader(argument);
  ForEachJobSetting(*job, reader);
  return reader.Finished();
}

std::string EncodeNoteMessage(WalkNote note, std::string_view text) {
  ByteWriter writer;
  writer.Unsigned(static_cast<uint8_t>(note), 1);
  writer.Text(text.substr(0, kMaxWalkNoteBytes));
  return Message(MessageKind::kNote, writer.Take());
}

std::string EncodeSettingsMessage(const WalkToggles& toggled) {
  ByteWriter writer;
  ForEachToggle(toggled, writer);
  return Message(MessageKind::kSettings, writer.Take());
}

std::string EncodeRowMessage(int row, const ProfileRecord& record) {
  ByteWriter writer;
  writer.Unsigned(static_cast<uint16_t>(row), 2);
  ForEachRowNumberField(record, writer);
  writer.Text(FieldText(record.FileName));
  writer.Text(FieldText(record.ProfileName));
  return Message(MessageKind::kRow, writer.Take());
}

std::string EncodeEndMessage(const WalkEnd& end) {
  ByteWriter writer;
  ForEachEndField(end, writer);
  return Message(MessageKind::kEnd, writer.Take());
}

WalkReportReader::WalkReportReader(int32_t start_count, std::function<void(WalkNote, std::string_view)> take_note)
    : start_count_(start_count), take_note_(std::move(take_note)), row_seen_(ZV_PROFILE_SLOTS + 1, false) {}

bool WalkReportReader::Refuse(std::string problem) {
  if (problem_.empty()) problem_ = std::move(problem);
  return false;
}

bool WalkReportReader::Feed(std::string_view bytes, WalkReport* report) {
  if (!problem_.empty()) return false;
  received_ += bytes.size();
  if (received_ > kMaxWalkReportBytes) {
    return Refuse("sent more than " + std::to_string(kMaxWalkReportBytes) + " bytes");
  }
  pending_.append(bytes);
  std::size_t used = 0;
  while (pending_.size() - used >= kMessageHeaderBytes) {
    ByteReader header(std::string_view(pending_).substr(used, kMessageHeaderBytes));
    uint64_t kind = 0;
    uint64_t length = 0;
    header.Unsigned(&kind, 1);
    header.Unsigned(&length, 4);
    if (kind < static_cast<uint8_t>(MessageKind::kNote) || kind > static_cast<uint8_t>(MessageKind::kEnd)) {
      return Refuse("sent a message of unknown kind " + std::to_string(kind));
    }
    if (length > LongestPayload(static_cast<MessageKind>(kind))) {
      return Refuse("sent a message of " + std::to_string(length) + " bytes, longer than its kind allows");
    }
    if (pending_.size() - used - kMessageHeaderBytes < length) break;
    if (!Take(static_cast<uint8_t>(kind), std::string_view(pending_).substr(used + kMessageHeaderBytes, length),
              report)) {
      return false;
    }
    used += kMessageHeaderBytes + length;
  }
  pending_.erase(0, used);
  return true;
}

bool WalkReportReader::Take(uint8_t kind, std::string_view payload, WalkReport* report) {
  if (report->end) return Refuse("sent a message after its end");
  ByteReader reader(payload);
  switch (static_cast<MessageKind>(kind)) {
    case MessageKind::kNote: {
      uint64_t note = 0;
      std::string_view text;
      if (!reader.Unsigned(&note, 1) || !reader.Text(&text) || !reader.Finished()) {
        return Refuse("sent a malformed note");
      }
      if (!NoteFromWalk(note)) return Refuse("sent a note of unknown kind " + std::to_string(note));
      if (take_note_) take_note_(static_cast<WalkNote>(note), text);
      return true;
    }
    case MessageKind::kSettings: {
      WalkToggles toggled;
      ForEachToggle(toggled, reader);
      if (!reader.Finished()) return Refuse("sent malformed settings");
      if (report->toggled || report->rows > 0) return Refuse("sent its settings twice, or after its rows");
      report->toggled = toggled;
      return true;
    }
    case MessageKind::kRow: {
      uint64_t row = 0;
      ProfileRecord record{};
      std::string_view file_name;
      std::string_view profile_name;
      reader.Unsigned(&row, 2);
      ForEachRowNumberField(record, reader);
      if (!reader.Text(&file_name) || !reader.Text(&profile_name) || !reader.Finished()) {
        return Refuse("sent a malformed row");
      }
      if (row < 1 || row > ZV_PROFILE_SLOTS) return Refuse("sent a row numbered " + std::to_string(row));
      if (row_seen_[row]) return Refuse("sent row " + std::to_string(row) + " twice");
      if (!FitsNameField(file_name) || !FitsNameField(profile_name)) {
        return Refuse("sent row " + std::to_string(row) + " with a name longer than " + std::to_string(kLongestName) +
                      " bytes or holding a zero byte");
      }
      CopyToField(record.FileName, file_name);
      CopyToField(record.ProfileName, profile_name);
      row_seen_[row] = true;
      report->spool->slots[row - 1] = record;
      ++report->rows;
      return true;
    }
    case MessageKind::kEnd: {
      WalkEnd end;
      ForEachEndField(end, reader);
      if (!reader.Finished()) return Refuse("sent a malformed end");
      if (!KnownResult(end.result)) return Refuse("sent the result " + std::to_string(end.result));
      if (end.spool_count < 0 || end.spool_count > ZV_PROFILE_SLOTS) {
        return Refuse("sent a spool count of " + std::to_string(end.spool_count));
      }
      if (end.whole_repetitions < 0 || end.whole_repetitions > kMaxBulkRepetitions) {
        return Refuse("sent " + std::to_string(end.whole_repetitions) + " repetitions that came back whole");
      }
      if (end.variables_found < start_count_) {
        return Refuse("sent a variables-found count below the one it was given");
      }
      report->spool->iNum = end.spool_count;
      report->end = end;
      return true;
    }
  }
  return Refuse("sent a message of unknown kind " + std::to_string(kind));
}

}  // namespace zv
