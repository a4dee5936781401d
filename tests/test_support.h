// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "count/classic_rules.h"
#include "count/pass.h"
#include "count/tables.h"

// What a pass over an in-memory log produced.
struct pass_run {
    pass_end end;
    std::string progress;  // everything the pass wrote as progress output
};

// Runs the pass over the bytes of a log as if they were qconsole.log, without touching files
// of the current folder, on the given CPU path, counting into the tables, and returns how it
// ended and its progress output.
pass_run run_on(classic_tables& tables, std::string_view log,
                cpu_path path = cpu_path_of_environment());

// Returns the slot of a player, failing the test if he has none.
int slot_of(const classic_tables& tables, std::string_view player);

// Returns the sum of one counter over every claimed slot.
int total(const classic_tables& tables, counter c);

// A test with empty tables of its own, which the helpers below count into and read.
class TablesTest : public ::testing::Test {
  protected:
    // Starts again with empty tables, made once the old ones are gone (likely in their memory).
    void empty_tables() {
        tables.reset();
        tables = std::make_unique<classic_tables>();
    }

    pass_run run_on(std::string_view log, cpu_path path = cpu_path_of_environment()) {
        return ::run_on(*tables, log, path);
    }
    int slot_of(std::string_view player) const { return ::slot_of(*tables, player); }
    int total(counter c) const { return ::total(*tables, c); }
    run_results results_of_pass(std::string_view log) const {
        return ::results_of_pass(*tables, log);
    }

    std::unique_ptr<classic_tables> tables = std::make_unique<classic_tables>();
};
