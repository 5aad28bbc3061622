// What the stop benchmark's parts share: the list they run, the folder each
// run works in, and a run on its own thread that is stopped at a chosen
// moment and timed on its way out. See stop_bench.cpp for what each part
// measures.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/network.h"

namespace vantrel::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr char kDomain[] = "bench.test";
inline constexpr char kFrom[] = "<bench@bench.test>";
inline constexpr char kListName[] = "BENCH.LST";
inline constexpr char kResultList[] = "BENCH.LST.OK";  // the result list's name: the list's + ".OK"

double Since(Clock::time_point start);
void Pause(int ms);
// Polls until done() holds or bound_ms passed; false on the bound.
bool PollUntil(const std::function<bool()>& done, int bound_ms);
// A fresh folder under base for one run's files; the process works in it.
bool EnterFolder(const fs::path& base, const std::string& name);
void WriteAddresses(int count);
// One address, then 3 million lines that need no probe.
void WriteLongList();
std::uint64_t FileBytes(const char* name);

struct StopFigure {
  std::string phase;
  std::string moment;      // what had happened when the flag was set
  bool reached = false;    // the moment came before the run ended by itself
  double run_s = -1;       // flag set -> RunVerification returned
  double tasks_s = -1;     // flag set -> running_tasks 0
  std::string note;
};

// Runs a whole verification on its own thread with the product's waits,
// sets the stop flag once moment() holds, and times the way out. The
// dialog is never destroyed: a task that outlives the bound may still
// reach it.
StopFigure RunAndStop(const std::string& phase, const std::string& moment_text, platform::Network& network,
                      const std::string& dns_server, const std::function<bool()>& moment, int bound_ms = 60000);

// The three parts of the benchmark.
void StopPhases(const fs::path& base, const std::vector<std::string>& phases);
void ConsoleExits(const fs::path& base, const std::string& console);
void MemoryUnderStream(const fs::path& base);

}  // namespace vantrel::bench
