// SPDX-License-Identifier: MIT
// The walk's limits and its one result beyond the driver's own, shared by
// the walk and the service that runs it.
#pragma once

#include <chrono>

namespace zv {

/// The most requests (GETNEXT or GETBULK) one walk sends before it gives up with result
/// 1. A device that keeps answering inside the subtree without end (with
/// the ordering check off it may even go round in a circle) would
/// otherwise hold the walk, and every walk waiting behind it, for ever.
inline constexpr long kDefaultWalkRequestLimit = 100000;

/// Wall-clock limit of one walk, from its start to its last request, unless
/// SetWalkTimeLimit says otherwise.
inline constexpr int kDefaultWalkTimeLimitSeconds = 120;

/// How long a printer that left GETBULK unanswered in two walks in a row
/// is walked by GETNEXT before GETBULK is tried again: a printer deaf to
/// GETBULK then costs one timeout per quarter of an hour at most, and one
/// that was still starting, or lost a datagram, is not slow for long.
inline constexpr std::chrono::minutes kDeafToGetBulkFor{15};

/// The result of a walk whose arguments hold a usage error.
inline constexpr int kWalkUsageError = -1;

/// The result of a walk that was abandoned because the service stops:
/// nothing is merged, and the request gets no reply.
inline constexpr int kWalkAbandoned = -3;

/// Most repetitions one GETBULK request of a walk asks for.
inline constexpr int kMaxBulkRepetitions = 100;

/// Repetitions of a walk whose "-C r" gives no number.
inline constexpr int kBulkRepetitionsWithoutNumber = 10;

/// The default repetitions that stand for "as many as the device's
/// answers hold": the walk sizes its GETBULK requests itself
/// (bulk_requests.h). Negative, so that it never reads as a count; it is
/// also the value that carries "auto" wherever the default travels as an
/// integer.
inline constexpr int kAutoBulkRepetitions = -1;

}  // namespace zv
