// SPDX-License-Identifier: MIT
#include "walk/walk_arguments.h"

#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/keytools.h>
#include <net-snmp/library/snmpusm.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "report/debug_sink.h"
#include "walk/snmp_library.h"
#include "walk/walk_settings.h"

static_assert(zv::kEngineIdSize == SNMP_MAX_ENG_SIZE);
static_assert(zv::kLocalisedKeySize == USM_AUTH_KU_LEN && USM_AUTH_KU_LEN == USM_PRIV_KU_LEN);

namespace zv {
namespace {

constexpr std::size_t kOptionStringSize = 96;
constexpr int kKeepScanning = 0;
constexpr long kMicrosecondsPerSecond = 1000000L;
// A sub-identifier beyond 32 bits cannot travel in a request.
constexpr oid kLargestSubidentifier = 0xFFFFFFFFUL;

struct ParseState {
  netsnmp_session* session = nullptr;
  WalkArgumentStorage* storage = nullptr;
  const char* community = nullptr;         // from -c, or null
  const char* auth_pass_phrase = nullptr;  // from -A, or null
  const char* priv_pass_phrase = nullptr;  // from -X, or null
  std::vector<char*> key_texts;            // in argv: every pass phrase and key scanned
};

// The storage of the parse in progress, for the option handler's "-C r",
// which holds for that walk alone. Parses never overlap (option scanning
// is process-wide).
WalkArgumentStorage* storage_in_parse = nullptr;

void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats one diagnostic, whole, and hands it to the debug sink.
void Report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatWhole(format, args);
  va_end(args);
  MyDebugMessage(text.c_str(), 0);
}

int UsageError(const char* what) {
  Report("[SNMP] %s\n", what);
  return kParseUsageError;
}

// Makes the next getopt call start again at argv[1] with no state left
// from an earlier parse (optind 0 is glibc's "reinitialise" request), and
// keeps getopt itself from printing.
void RestartOptionScanning() {
  optind = 0;
  opterr = 0;
}

bool ComposeOptionString(const char* local_options, char (&options)[kOptionStringSize]) {
  const int length = std::snprintf(options, sizeof options, "%s%s", kWalkOptionLetters,
                                   local_options != nullptr ? local_options : "");
  return length > 0 && static_cast<std::size_t>(length) < sizeof options;
}

// True when `text` is at most kMaxWalkArgumentBytes long; looks no
// further than that.
bool WithinArgumentBound(const char* text) {
  return ::strnlen(text, kMaxWalkArgumentBytes + 1) <= kMaxWalkArgumentBytes;
}

bool VectorIsComplete(int argc, char** argv) {
  if (argc < 1 || argv == nullptr) return false;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) return false;
  }
  return true;
}

// A whole number that starts with a digit, like atoi reads it (trailing
// text ignored), but refusing values above `max` instead of overflowing.
bool ParseWholeNumber(const char* text, long max, long* value) {
  if (!std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (errno == ERANGE || parsed > max) return false;
  *value = parsed;
  return true;
}

int HandleVersion(const char* text, netsnmp_session* session) {
  if (std::strcmp(text, "1") == 0) {
    session->version = SNMP_VERSION_1;
  } else if (strcasecmp(text, "2c") == 0) {
    session->version = SNMP_VERSION_2c;
  } else if (std::strcmp(text, "3") == 0) {
    session->version = SNMP_VERSION_3;
  } else {
    Report("[SNMP] Invalid version specified after -v flag: %s\n", text);
    return kParseUsageError;
  }
  return kKeepScanning;
}

int HandleRetries(const char* text, netsnmp_session* session) {
  long retries = 0;
  if (!ParseWholeNumber(text, INT_MAX, &retries)) {
    return UsageError("Invalid number of retries after -r flag.");
  }
  session->retries = static_cast<int>(retries);
  return kKeepScanning;
}

// Seconds written as digits with an optional fraction ("2", "0.5", ".25"):
// no sign, exponent or trailing text.
bool IsDecimalSeconds(const char* text) {
  const std::size_t whole = std::strspn(text, "0123456789");
  const char* rest = text + whole;
  std::size_t fraction = 0;
  if (*rest == '.') {
    fraction = std::strspn(rest + 1, "0123456789");
    rest += 1 + fraction;
  }
  return *rest == '\0' && whole + fraction > 0;
}

// Seconds with a fraction, as Net-SNMP's own tools read -t, made
// microseconds. Zero, and a fraction too small to wait a microsecond, would
// send every request without waiting for its answer: refused.
int HandleTimeout(const char* text, netsnmp_session* session) {
  const double seconds = IsDecimalSeconds(text) ? std::strtod(text, nullptr) : 0.0;
  const long microseconds = std::lround(seconds * kMicrosecondsPerSecond);
  if (seconds > INT_MAX || microseconds < 1) return UsageError("Invalid timeout in seconds after -t flag.");
  session->timeout = microseconds;
  return kKeepScanning;
}

// The letters of -O and -I that take a value: the rest of the option's
// argument, or the next argument when nothing follows the letter.
const char* ValueLetters(char option) {
  switch (option) {
    case 'O': return "p";
    case 'I': return "sS";
    default: return "";
  }
}

// The library's toggle handlers take a value that is missing from the
// option's argument from argv[optind++] without looking at argc: a missing
// or over-long value is refused here, before they run.
bool ToggleValueIsPresent(char option, const char* text, int argc, char** argv) {
  const char* letter = std::strpbrk(text, ValueLetters(option));
  if (letter == nullptr || letter[1] != '\0') return true;
  return optind < argc && WithinArgumentBound(argv[optind]);
}

int HandleToggleOptions(char option, char* text, int argc, char** argv) {
  if (!ToggleValueIsPresent(option, text, argc, argv)) {
    Report("[SNMP] Missing argument after -%c%s.\n", option, text);
    return kParseUsageError;
  }
  char* unknown = nullptr;
  switch (option) {
    case 'O': unknown = snmp_out_options(text, argc, argv); break;
    case 'I': unknown = snmp_in_options(text, argc, argv); break;
    default: unknown = snmp_mib_toggle_options(text); break;
  }
  if (unknown == nullptr) return kKeepScanning;
  Report("[SNMP] Unknown option passed to -%c: %c.\n", option, *unknown);
  return kParseUsageError;
}

// MIBS is read only by the library's initialisation, but -m sets it for
// the process.
int HandleMibList(const char* text) {
  return setenv("MIBS", text, 1) == 0 ? kKeepScanning : UsageError("Cannot set MIBS.");
}

// Decodes `hex` (a leading "0x" and spaces allowed) into the `capacity`
// bytes at `buffer`; false when it is empty, not hex or longer.
bool DecodeHex(const char* hex, u_char* buffer, std::size_t capacity, std::size_t* length) {
  std::size_t used = 0;
  if (netsnmp_hex_to_binary(&buffer, &capacity, &used, 0, hex, " ") != 1 || used == 0) return false;
  *length = used;
  return true;
}

bool DecodeEngineId(const char* hex, u_char (&buffer)[kEngineIdSize], u_char** id,
                    std::size_t* id_length) {
  if (!DecodeHex(hex, buffer, sizeof buffer, id_length)) return false;
  *id = buffer;
  return true;
}

// A master key (-3m, -3M): the key the library localises for the device
// as it would a key made from a pass phrase.
int TakeMasterKey(char letter, const char* hex, u_char* key, std::size_t capacity, std::size_t* length) {
  if (DecodeHex(hex, key, capacity, length)) return kKeepScanning;
  Report("[SNMP] Bad key value after -3%c flag.\n", letter);
  return kParseUsageError;
}

// A localised key (-3k, -3K): the key for the device itself, kept in
// `buffer`, which the session then points to.
int TakeLocalisedKey(char letter, const char* hex, u_char (&buffer)[kLocalisedKeySize], u_char** key,
                     std::size_t* length) {
  if (!DecodeHex(hex, buffer, sizeof buffer, length)) {
    Report("[SNMP] Bad key value after -3%c flag.\n", letter);
    return kParseUsageError;
  }
  *key = buffer;
  return kKeepScanning;
}

// The letters of the SNMPv3 options whose value is a pass phrase or key,
// under -3 (at the top level only A and X are; m and M name MIBs there).
bool HoldsKeyMaterial(char letter) { return letter != '\0' && std::strchr("AXmMkK", letter) != nullptr; }

int HandleEngineBootsAndTime(char* text, netsnmp_session* session) {
  char* end = nullptr;
  const unsigned long boots = std::strtoul(text, &end, 10);
  if (end == text || *end != ',') return UsageError("Need engine boots and time after -Z flag.");
  char* time_text = end + 1;
  const unsigned long time = std::strtoul(time_text, &end, 10);
  if (end == time_text || *end != '\0') return UsageError("Need engine boots and time after -Z flag.");
  session->engineBoots = static_cast<u_int>(boots);
  session->engineTime = static_cast<u_int>(time);
  return kKeepScanning;
}

int HandleSecurityLevel(char* text, netsnmp_session* session) {
  const int level = parse_secLevel_conf("-l", text);
  if (level < 0) return UsageError("Invalid security level specified after -l flag.");
  session->securityLevel = level;
  return kKeepScanning;
}

int HandleAuthProtocol(const char* text, netsnmp_session* session) {
  const int type = usm_lookup_auth_type(text);
  oid* protocol = type > 0 ? sc_get_auth_oid(type, &session->securityAuthProtoLen) : nullptr;
  if (protocol == nullptr) return UsageError("Invalid authentication protocol specified after -a flag.");
  session->securityAuthProto = protocol;
  return kKeepScanning;
}

int HandlePrivacyProtocol(const char* text, netsnmp_session* session) {
  const int type = usm_lookup_priv_type(text);
  oid* protocol = type > 0 ? sc_get_priv_oid(type, &session->securityPrivProtoLen) : nullptr;
  if (protocol == nullptr) return UsageError("Invalid privacy protocol specified after -x flag.");
  session->securityPrivProto = protocol;
  return kKeepScanning;
}

int HandleKeyOption(char letter, const char* text, ParseState& state) {
  netsnmp_session* session = state.session;
  WalkArgumentStorage* storage = state.storage;
  switch (letter) {
    case 'A': state.auth_pass_phrase = text; return kKeepScanning;
    case 'X': state.priv_pass_phrase = text; return kKeepScanning;
    case 'm':
      return TakeMasterKey(letter, text, session->securityAuthKey, sizeof session->securityAuthKey,
                           &session->securityAuthKeyLen);
    case 'M':
      return TakeMasterKey(letter, text, session->securityPrivKey, sizeof session->securityPrivKey,
                           &session->securityPrivKeyLen);
    case 'k':
      return TakeLocalisedKey(letter, text, storage->auth_localised_key, &session->securityAuthLocalKey,
                              &session->securityAuthLocalKeyLen);
    default:
      return TakeLocalisedKey(letter, text, storage->priv_localised_key, &session->securityPrivLocalKey,
                              &session->securityPrivLocalKeyLen);
  }
}

int HandleSecurityOption(char letter, char* text, ParseState& state) {
  netsnmp_session* session = state.session;
  if (HoldsKeyMaterial(letter)) return HandleKeyOption(letter, text, state);
  switch (letter) {
    case 'Z': return HandleEngineBootsAndTime(text, session);
    case 'e':
      if (DecodeEngineId(text, state.storage->security_engine_id, &session->securityEngineID,
                         &session->securityEngineIDLen)) {
        return kKeepScanning;
      }
      return UsageError("Bad engine ID value after -e flag.");
    case 'E':
      if (DecodeEngineId(text, state.storage->context_engine_id, &session->contextEngineID,
                         &session->contextEngineIDLen)) {
        return kKeepScanning;
      }
      return UsageError("Bad engine ID value after -E flag.");
    case 'n':
      session->contextName = text;
      session->contextNameLen = std::strlen(text);
      return kKeepScanning;
    case 'u':
      session->securityName = text;
      session->securityNameLen = std::strlen(text);
      return kKeepScanning;
    case 'l': return HandleSecurityLevel(text, session);
    case 'a': return HandleAuthProtocol(text, session);
    case 'x': return HandlePrivacyProtocol(text, session);
    default:
      Report("[SNMP] Unknown SNMPv3 option passed to -3: %c.\n", letter);
      return kParseUsageError;
  }
}

// "-3x value", "-3xvalue" or "-3x=value": the SNMPv3 options under one
// letter, the keys in hex among them.
int HandleSnmpV3Option(char* text, int argc, char** argv, ParseState& state) {
  const char letter = text[0];
  if (letter == '\0') return UsageError("Missing SNMPv3 option after -3.");
  char* value = text + 1;
  if (*value == '=') ++value;
  while (std::isspace(static_cast<unsigned char>(*value))) ++value;
  if (*value == '\0') {
    if (optind >= argc) return UsageError("Missing argument after an SNMPv3 -3 option.");
    value = argv[optind++];
  }
  if (HoldsKeyMaterial(letter)) state.key_texts.push_back(value);
  if (!WithinArgumentBound(value)) return UsageError("The value after -3 is too long.");
  return HandleSecurityOption(letter, value, state);
}

int HandleConfigurationHelp() {
  InitialiseSnmpLibrary();
  MyDebugMessage("[SNMP] Configuration directives understood:\n", 0);
  read_config_print_usage("  ");  // to the library's log
  return kParseNothingToWalk;
}

int HandleOption(int option, int argc, char** argv, ParseState& state, OptionHandler handler) {
  switch (option) {
    case 'H': return HandleConfigurationHelp();
    case 'm': return HandleMibList(optarg);
    // The MIB folders are read when the library starts, before the job
    // arrives: the service starts a walk with -M with MIBDIRS set for it.
    case 'M': return kKeepScanning;
    case 'O':
    case 'I':
    case 'P': return HandleToggleOptions(static_cast<char>(option), optarg, argc, argv);
    case 'L':
    case 'D':
    case 'd': return kKeepScanning;
    case 'v': return HandleVersion(optarg, state.session);
    case 'r': return HandleRetries(optarg, state.session);
    case 't': return HandleTimeout(optarg, state.session);
    case 'c': state.community = optarg; return kKeepScanning;
    case '3': return HandleSnmpV3Option(optarg, argc, argv, state);
    case 'Z':
    case 'e':
    case 'E':
    case 'n':
    case 'u':
    case 'l':
    case 'a':
    case 'x':
    case 'A':
    case 'X': return HandleSecurityOption(static_cast<char>(option), optarg, state);
    case 'p': return UsageError("The -p option is no longer used: give the address as HOST:PORT.");
    case 'T': return UsageError("The -T option is not accepted.");
    case 'Y':
    case '-': return UsageError("Configuration directives are not accepted in walk arguments.");
    case '?':
      Report("[SNMP] Unknown option or missing argument: -%c\n", optopt);
      return kParseUsageError;
    default:
      if (handler != nullptr) handler(argc, argv, option);
      return kKeepScanning;
  }
}

// Without -v: the configuration's default version, or SNMPv3 when it names
// none.
void ApplyDefaultVersion(netsnmp_session* session) {
  if (session->version != SNMP_DEFAULT_VERSION) return;
  const int configured = netsnmp_ds_get_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_SNMPVERSION);
  if (configured == 0) {
    session->version = SNMP_VERSION_3;
  } else if (configured == NETSNMP_DS_SNMP_VERSION_1) {
    session->version = SNMP_VERSION_1;
  } else {
    session->version = configured;
  }
}

// SNMPv1 and SNMPv2c need a community: from -c, else the configuration's
// default one.
bool ApplyCommunity(netsnmp_session* session, const char* community) {
  if (session->version != SNMP_VERSION_1 && session->version != SNMP_VERSION_2c) return true;
  if (community == nullptr) {
    community = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_COMMUNITY);
  }
  if (community == nullptr) return false;
  session->community = reinterpret_cast<u_char*>(const_cast<char*>(community));
  session->community_len = std::strlen(community);
  return true;
}

int ScanOptions(int argc, char** argv, const char* options, ParseState& state, OptionHandler handler) {
  RestartOptionScanning();
  int option = 0;
  while ((option = getopt(argc, argv, options)) != -1) {
    if (option == 'A' || option == 'X') state.key_texts.push_back(optarg);
    if (optarg != nullptr && !WithinArgumentBound(optarg)) {
      Report("[SNMP] The value after -%c is too long.\n", option);
      return kParseUsageError;
    }
    const int outcome = HandleOption(option, argc, argv, state, handler);
    if (outcome != kKeepScanning) return outcome;
  }
  return kKeepScanning;
}

// The authentication protocol that pass phrases become keys by: -a's, else
// snmp.conf's defAuthType, else the library's default, the protocol that
// the session takes when it opens without one.
void ApplyDefaultAuthProtocol(netsnmp_session* session) {
  if (session->securityAuthProto != nullptr) return;
  session->securityAuthProto = const_cast<oid*>(get_default_authtype(&session->securityAuthProtoLen));
}

void ApplyDefaultPrivacyProtocol(netsnmp_session* session) {
  if (session->securityPrivProto != nullptr) return;
  session->securityPrivProto = const_cast<oid*>(get_default_privtype(&session->securityPrivProtoLen));
}

// Makes the key (Ku) of `pass_phrase` by the session's authentication
// protocol, which makes the privacy key too. False, reported, when the
// library makes none (a pass phrase shorter than 8 bytes).
bool MakeKey(const netsnmp_session& session, const char* pass_phrase, const char* purpose, u_char* key,
             std::size_t* length) {
  *length = USM_AUTH_KU_LEN;
  const int status = generate_Ku(session.securityAuthProto, static_cast<u_int>(session.securityAuthProtoLen),
                                 reinterpret_cast<const u_char*>(pass_phrase), std::strlen(pass_phrase), key,
                                 length);
  if (status == SNMPERR_SUCCESS) return true;
  *length = 0;
  Report("[SNMP] Error generating a key (Ku) from the supplied %s pass phrase: %s\n", purpose,
         snmp_api_errstring(status));
  return false;
}

int MakeKeysFromPassPhrases(const ParseState& state) {
  netsnmp_session* session = state.session;
  if (state.auth_pass_phrase == nullptr && state.priv_pass_phrase == nullptr) return kKeepScanning;
  ApplyDefaultAuthProtocol(session);
  if (state.auth_pass_phrase != nullptr &&
      !MakeKey(*session, state.auth_pass_phrase, "authentication", session->securityAuthKey,
               &session->securityAuthKeyLen)) {
    return kParseUsageError;
  }
  if (state.priv_pass_phrase == nullptr) return kKeepScanning;
  ApplyDefaultPrivacyProtocol(session);
  return MakeKey(*session, state.priv_pass_phrase, "privacy", session->securityPrivKey,
                 &session->securityPrivKeyLen)
             ? kKeepScanning
             : kParseUsageError;
}

void WipeKeyTexts(const ParseState& state) {
  for (char* text : state.key_texts) explicit_bzero(text, std::strlen(text));
}

// Options stop at the address: one given after it is never read, which
// the usage error names when it may be the missing -c.
int NoCommunity(int argc, char** argv, int after_address) {
  for (int i = after_address; i < argc; ++i) {
    if (argv[i][0] != '-' || argv[i][1] == '\0') continue;
    Report("[SNMP] No community name specified: options after the address are not read ('%s' and what follows)\n",
           argv[i]);
    return kParseUsageError;
  }
  return UsageError("No community name specified.");
}

// The parse after its set-up; ParseWalkArguments wipes what it leaves.
int ParseVector(int argc, char** argv, const char* options, ParseState& state, OptionHandler handler) {
  state.storage->bulk_repetitions = 0;
  storage_in_parse = state.storage;
  const int scanned = ScanOptions(argc, argv, options, state, handler);
  storage_in_parse = nullptr;
  if (scanned != kKeepScanning) return scanned;

  InitialiseSnmpLibrary();
  ApplyDefaultVersion(state.session);
  const int keys = MakeKeysFromPassPhrases(state);
  if (keys != kKeepScanning) return keys;
  if (optind >= argc) return UsageError("No hostname specified.");
  if (!WithinArgumentBound(argv[optind])) return UsageError("The device's address is too long.");
  state.session->peername = argv[optind++];
  if (!ApplyCommunity(state.session, state.community)) return NoCommunity(argc, argv, optind);
  return optind;
}

// The -IS prefix, `text` and the -Is suffix (with a dot before it unless
// it has one), as the library's OID parser joins them.
std::string WithPrefixAndSuffix(const char* text) {
  const char* prefix = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OIDPREFIX);
  const char* suffix = netsnmp_ds_get_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OIDSUFFIX);
  std::string root = prefix != nullptr ? prefix : "";
  root += text;
  if (suffix != nullptr && suffix[0] != '\0') {
    if (suffix[0] != '.') root += '.';
    root += suffix;
  }
  return root;
}

// True when every quoted part of `root` ("text" or 'text') is closed: the
// library's OID reader steps past the end of the text after a quote that
// is never closed.
bool QuotesAreClosed(const std::string& root) {
  for (std::size_t at = root.find_first_of("\"'"); at != std::string::npos;
       at = root.find_first_of("\"'", at + 1)) {
    at = root.find(root[at], at + 1);
    if (at == std::string::npos) return false;
  }
  return true;
}

}  // namespace

int ParseWalkArguments(int argc, char** argv, netsnmp_session* session,
                       WalkArgumentStorage* storage, const char* local_options,
                       OptionHandler handler) {
  PrepareSnmpLibrary();
  snmp_sess_init(session);
  if (!VectorIsComplete(argc, argv)) return UsageError("No hostname specified.");
  char options[kOptionStringSize];
  if (!ComposeOptionString(local_options, options)) return UsageError("Too many local options.");

  ParseState state;
  state.session = session;
  state.storage = storage;
  const int parsed = ParseVector(argc, argv, options, state, handler);
  WipeKeyTexts(state);
  return parsed;
}

WalkArgumentStorage::~WalkArgumentStorage() {
  explicit_bzero(auth_localised_key, sizeof auth_localised_key);
  explicit_bzero(priv_localised_key, sizeof priv_localised_key);
}

// The root as the library's OID parser reads it: with the -IS prefix and
// the -Is suffix, "MODULE::name" forms looked up by name, others read as an
// OID and then looked up by name. The parser's last resort, a search that
// treats the text as a regular expression (and which -Ib or -IR would make
// its first), is never taken: compiling a pattern such as "S++++..." takes
// time and memory exponential in its length.
bool ParseWalkRoot(const char* text, oid (&ids)[MAX_OID_LEN], std::size_t* length) {
  if (!WithinArgumentBound(text)) {
    Report("[SNMP] The root OID is too long.\n");
    return false;
  }
  const std::string root = WithPrefixAndSuffix(text);
  if (!QuotesAreClosed(root)) {
    Report("[SNMP] %s: a quoted part of the root OID is not closed.\n", text);
    return false;
  }
  bool parsed = false;
  if (root.find(':') == std::string::npos) {
    *length = MAX_OID_LEN;
    parsed = read_objid(root.c_str(), ids, length) != 0;
  }
  if (!parsed) {
    *length = MAX_OID_LEN;
    parsed = get_node(root.c_str(), ids, length) != 0;
  }
  if (!parsed || *length == 0) {
    snmp_perror(text);
    return false;
  }
  return std::all_of(ids, ids + *length, [](oid id) { return id <= kLargestSubidentifier; });
}

namespace {

// The repetitions of "-C r" from the digits at `digits` (none: the
// default of an "r" alone), brought into 1 to kMaxBulkRepetitions. Sets
// `*end` to the first character after the digits.
int ReadBulkRepetitions(const char* digits, const char** end) {
  if (!std::isdigit(static_cast<unsigned char>(*digits))) {
    *end = digits;
    return kBulkRepetitionsWithoutNumber;
  }
  long number = 0;
  for (; std::isdigit(static_cast<unsigned char>(*digits)); ++digits) {
    number = std::min<long>(number * 10 + (*digits - '0'), kMaxBulkRepetitions + 1L);
  }
  *end = digits;
  const int repetitions = static_cast<int>(std::clamp<long>(number, 1, kMaxBulkRepetitions));
  if (repetitions != number) {
    FormatDebugMessage("-C r: repetitions from 1 to %d; using %d", kMaxBulkRepetitions, repetitions);
  }
  return repetitions;
}

// "-C r[N]" for the walk being parsed; returns the last character it took.
const char* TakeBulkRepetitions(const char* letter) {
  const char* end = nullptr;
  const int repetitions = ReadBulkRepetitions(letter + 1, &end);
  if (storage_in_parse != nullptr) storage_in_parse->bulk_repetitions = repetitions;
  return end - 1;
}

}  // namespace
}  // namespace zv

void optProc(int /*argc*/, char* const* /*argv*/, int opt) {
  if (opt != 'C' || optarg == nullptr) return;
  for (const char* letter = optarg; *letter != '\0'; ++letter) {
    switch (*letter) {
      case 'c': zv::ToggleWalkSetting(zv::WalkSetting::kDontCheckOrdering); break;
      case 'p': zv::ToggleWalkSetting(zv::WalkSetting::kPrintStatistics); break;
      case 'i': zv::ToggleWalkSetting(zv::WalkSetting::kIncludeRequested); break;
      case 'r': letter = zv::TakeBulkRepetitions(letter); break;
      default: zv::FormatDebugMessage("Unknown flag passed to -C: %c\n", *letter); break;
    }
  }
}
