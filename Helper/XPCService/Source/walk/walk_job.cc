// SPDX-License-Identifier: MIT
#include "walk/walk_job.h"

#include <cstring>
#include <optional>
#include <type_traits>

namespace zv {
namespace {

constexpr std::size_t kMessageHeaderBytes = 5;

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
  void operator()(const std::optional<std::string>& value) {
    (*this)(value.has_value());
    if (value) Text(*value);
  }
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
  bool Text(std::string* text) {
    uint64_t length = 0;
    if (!Unsigned(&length, 4) || bytes_.size() < length) return ok_ = false;
    text->assign(bytes_.substr(0, length));
    bytes_.remove_prefix(length);
    return true;
  }
  void operator()(bool& value) {
    uint64_t raw = 0;
    if (Unsigned(&raw, 1)) value = raw != 0;
  }
  void operator()(int32_t& value) {
    uint64_t raw = 0;
    if (Unsigned(&raw, 4)) value = static_cast<int32_t>(static_cast<uint32_t>(raw));
  }
  void operator()(int64_t& value) {
    uint64_t raw = 0;
    if (Unsigned(&raw, 8)) value = static_cast<int64_t>(raw);
  }
  void operator()(std::string& value) { Text(&value); }
  void operator()(std::optional<std::string>& value) {
    bool present = false;
    (*this)(present);
    if (!present) {
      value.reset();
      return;
    }
    std::string text;
    if (Text(&text)) value = std::move(text);
  }
  // True when everything read so far was there and nothing is left.
  bool Finished() const { return ok_ && bytes_.empty(); }

 private:
  std::string_view bytes_;
  bool ok_ = true;
};

std::string Message(WalkMessageKind kind, const std::string& payload) {
  ByteWriter header;
  header.Unsigned(static_cast<uint8_t>(kind), 1);
  header.Unsigned(payload.size(), 4);
  return header.Take() + payload;
}

bool DecodeMessage(WalkMessageKind kind, std::string_view payload, WalkMessage* message) {
  ByteReader reader(payload);
  message->kind = kind;
  if (kind == WalkMessageKind::kNote) {
    int32_t note = 0;
    reader(note);
    reader(message->text);
    message->note = static_cast<WalkNote>(note);
  } else if (kind == WalkMessageKind::kLogLine) {
    reader(message->text);
  } else {
    int32_t result = 0;
    reader(result);
    ForEachWalkStateField(message->state, reader);
    message->result = result;
  }
  return reader.Finished();
}

}  // namespace

std::string EncodeWalkJob(const WalkJob& job) {
  ByteWriter writer;
  writer.Unsigned(static_cast<uint8_t>(job.kind), 1);
  writer(job.current_path);
  writer(job.previous_path);
  writer(job.spool_path);
  writer.Unsigned(job.arguments.size(), 4);
  for (const std::string& argument : job.arguments) writer(argument);
  ForEachWalkStateField(job.state, writer);
  return writer.Take();
}

bool DecodeWalkJob(std::string_view bytes, WalkJob* job) {
  ByteReader reader(bytes);
  uint64_t kind = 0;
  uint64_t count = 0;
  if (!reader.Unsigned(&kind, 1) || kind > static_cast<uint8_t>(WalkJobKind::kMergeFailed)) return false;
  job->kind = static_cast<WalkJobKind>(kind);
  reader(job->current_path);
  reader(job->previous_path);
  reader(job->spool_path);
  if (!reader.Unsigned(&count, 4) || count > bytes.size()) return false;
  job->arguments.assign(count, std::string());
  for (std::string& argument : job->arguments) reader(argument);
  ForEachWalkStateField(job->state, reader);
  return reader.Finished();
}

std::string EncodeNoteMessage(WalkNote note, std::string_view text) {
  ByteWriter writer;
  writer(static_cast<int32_t>(note));
  writer.Text(text);
  return Message(WalkMessageKind::kNote, writer.Take());
}

std::string EncodeLogLineMessage(std::string_view line) {
  ByteWriter writer;
  writer.Text(line);
  return Message(WalkMessageKind::kLogLine, writer.Take());
}

std::string EncodeResultMessage(int result, const WalkProcessState& state) {
  ByteWriter writer;
  writer(static_cast<int32_t>(result));
  ForEachWalkStateField(state, writer);
  return Message(WalkMessageKind::kResult, writer.Take());
}

bool WalkMessageReader::Feed(std::string_view bytes, const std::function<void(const WalkMessage&)>& take) {
  if (broken_) return false;
  pending_.append(bytes);
  std::size_t used = 0;
  while (pending_.size() - used >= kMessageHeaderBytes) {
    ByteReader header(std::string_view(pending_).substr(used, kMessageHeaderBytes));
    uint64_t kind = 0;
    uint64_t length = 0;
    header.Unsigned(&kind, 1);
    header.Unsigned(&length, 4);
    const bool known = kind >= static_cast<uint8_t>(WalkMessageKind::kNote) &&
                       kind <= static_cast<uint8_t>(WalkMessageKind::kResult);
    if (!known || length > kMaxWalkMessageBytes) {
      broken_ = true;
      return false;
    }
    if (pending_.size() - used - kMessageHeaderBytes < length) break;
    WalkMessage message;
    if (!DecodeMessage(static_cast<WalkMessageKind>(kind),
                       std::string_view(pending_).substr(used + kMessageHeaderBytes, length), &message)) {
      broken_ = true;
      return false;
    }
    used += kMessageHeaderBytes + length;
    take(message);
  }
  pending_.erase(0, used);
  return true;
}

}  // namespace zv
