// An import sink that keeps what it is given in memory and records its calls,
// for the package tests, the fuzzer and the import benchmark.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "shared/KiroFile.h"

class TMemoryKiroSink : public IKiroSink {
 public:
  bool Begin() override {
    ++begins;
    photos.clear();
    return beginSucceeds;
  }
  bool WritePhoto(int index, const std::vector<std::uint8_t>& bytes) override {
    if (!photoSucceeds) return false;
    photos[index] = bytes;
    return true;
  }
  bool Commit(const std::string& dataText) override {
    ++commits;
    if (!commitSucceeds) return false;
    data = dataText;
    committed = true;
    return true;
  }
  void Abort() override { ++aborts; }

  bool beginSucceeds = true;
  bool photoSucceeds = true;
  bool commitSucceeds = true;

  int begins = 0;
  int commits = 0;
  int aborts = 0;
  bool committed = false;
  std::map<int, std::vector<std::uint8_t>> photos;
  std::string data;
};
