// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "count/classic_rules.h"
#include "count/pass.h"
#include "count/tables.h"

// Empties the player tables before each test.
class TablesTest : public ::testing::Test {
  protected:
    void SetUp() override;
};

// What a pass over an in-memory log produced.
struct pass_run {
    pass_end end;
    std::string progress;  // everything the pass wrote as progress output
};

// Runs the pass over the bytes of a log as if they were qconsole.log, without touching files
// of the current folder, on the given CPU path, and returns how it ended and its progress
// output.
pass_run run_on(std::string_view log, cpu_path path = cpu_path_of_environment());

// Returns the slot of a player, failing the test if he has none.
int slot_of(std::string_view player);

// Returns the sum of one counter over every claimed slot.
int total(counter c);
