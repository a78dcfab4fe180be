#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/base/values.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

namespace orvanta {
namespace {

TEST(Values, IntegerConversionTruncatesAndReadsIntegerText) {
  EXPECT_EQ(to_int(Json(7.9)), 7);
  EXPECT_EQ(to_int(Json(-7.9)), -7);
  EXPECT_EQ(to_int(Json(4.0)), 4);
  EXPECT_EQ(to_int(Json("12")), 12);
  EXPECT_EQ(to_int(Json(" -3 ")), -3);
  EXPECT_EQ(to_int(Json("+5")), 5);
  EXPECT_EQ(to_int(Json(true)), 1);
  EXPECT_THROW(to_int(Json("4.0")), ValueError);
  EXPECT_THROW(to_int(Json("")), ValueError);
  EXPECT_THROW(to_int(Json("1e3")), ValueError);
  // Reals and unsigned values beyond the integer range are refused, not wrapped.
  EXPECT_THROW(to_int(Json(1e300)), ValueError);
  EXPECT_THROW(to_int(Json(9223372036854775808.0)), ValueError);
  EXPECT_THROW(to_int(Json(18446744073709551615ULL)), ValueError);
  EXPECT_EQ(to_int(Json(-9223372036854775808.0)), std::numeric_limits<long long>::min());
  EXPECT_THROW(to_int(Json()), TypeError);
  EXPECT_THROW(to_int(Json::array()), TypeError);
  EXPECT_THROW(to_int(Json(std::numeric_limits<double>::quiet_NaN())), ValueError);
  try {
    to_int(Json("abc"));
  } catch (const ValueError& e) {
    EXPECT_STREQ(e.what(), "invalid literal for int() with base 10: 'abc'");
  }
}

TEST(Values, RealConversionAcceptsNumbersAndNumericText) {
  EXPECT_DOUBLE_EQ(to_real(Json(3)), 3.0);
  EXPECT_DOUBLE_EQ(to_real(Json("2.5")), 2.5);
  EXPECT_DOUBLE_EQ(to_real(Json(" 1e-3 ")), 1e-3);
  EXPECT_DOUBLE_EQ(to_real(Json("-.5")), -0.5);
  EXPECT_TRUE(std::isinf(to_real(Json("inf"))));
  EXPECT_THROW(to_real(Json("0x10")), ValueError);
  EXPECT_THROW(to_real(Json("1.0abc")), ValueError);
  EXPECT_THROW(to_real(Json("")), ValueError);
  EXPECT_THROW(to_real(Json()), TypeError);
  try {
    to_real(Json("wing"));
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_STREQ(e.what(), "could not convert string to float: 'wing'");
  }
}

TEST(Values, TruthFollowsEmptinessAndZero) {
  for (const Json& falsy : {Json(), Json(false), Json(0), Json(0.0), Json(""), Json::array(), Json::object()})
    EXPECT_FALSE(truthy(falsy)) << falsy.dump();
  for (const Json& yes : {Json(true), Json(1), Json(-0.5), Json("0"), Json::array({0}), Json{{"a", 1}}})
    EXPECT_TRUE(truthy(yes)) << yes.dump();
}

TEST(Values, RealNumberTextIsShortestRoundTripWithPointOrExponent) {
  EXPECT_EQ(real_text(2.0), "2.0");
  EXPECT_EQ(real_text(40.0), "40.0");
  EXPECT_EQ(real_text(-40.0), "-40.0");
  EXPECT_EQ(real_text(1000000.0), "1000000.0");
  EXPECT_EQ(real_text(0.00001), "1e-05");
  EXPECT_EQ(real_text(0.0001), "0.0001");
  EXPECT_EQ(real_text(1e16), "1e+16");
  EXPECT_EQ(real_text(1.5e16), "1.5e+16");
  EXPECT_EQ(real_text(999999999999999.0), "999999999999999.0");
  EXPECT_EQ(real_text(0.1), "0.1");
  EXPECT_EQ(real_text(1.0 / 3.0), "0.3333333333333333");
  EXPECT_EQ(real_text(-0.0), "-0.0");
  EXPECT_EQ(real_text(1.25e-7), "1.25e-07");
  EXPECT_EQ(real_text(1e100), "1e+100");
  EXPECT_EQ(real_text(123.456), "123.456");
  for (double v : {0.1 + 0.2, 6.02214076e23, 2.2250738585072014e-308, 340.29})
    EXPECT_EQ(std::stod(real_text(v)), v);
}

TEST(Values, GeneralFormatUsesSixSignificantDigits) {
  EXPECT_EQ(g_format(2.0), "2");
  EXPECT_EQ(g_format(1000000.0), "1e+06");
  EXPECT_EQ(g_format(0.000123456789), "0.000123457");
  EXPECT_EQ(g_format(0.00001), "1e-05");
  EXPECT_EQ(g_format(1234567.0), "1.23457e+06");
  EXPECT_EQ(g_format(2.5), "2.5");
  EXPECT_EQ(g_format(0.0001), "0.0001");
  EXPECT_EQ(g_format(123456.0), "123456");
}

TEST(Values, ListNotationQuotesLikeTheModelExpects) {
  EXPECT_EQ(list_notation(std::vector<std::string>{}), "[]");
  EXPECT_EQ(list_notation(std::vector<std::string>{"/cases/c1/constant/polyMesh"}), "['/cases/c1/constant/polyMesh']");
  EXPECT_EQ(list_notation(std::vector<std::string>{"a", "b"}), "['a', 'b']");
  EXPECT_EQ(list_notation(std::vector<std::string>{"it's"}), "[\"it's\"]");
  EXPECT_EQ(list_notation(std::vector<std::string>{"a'b\"c"}), "['a\\'b\"c']");
  EXPECT_EQ(list_notation(std::vector<std::string>{"back\\slash"}), "['back\\\\slash']");
  EXPECT_EQ(list_notation(Json::array({"aircraft.stl", 3, nullptr})), "['aircraft.stl', 3, None]");
  EXPECT_EQ(list_notation(Json()), "[]");
}

TEST(Values, ShellWordsKeepPlainWordsAndQuoteTheRest) {
  EXPECT_EQ(shell_word("-solver_name=DARhoSimpleFoam"), "-solver_name=DARhoSimpleFoam");
  EXPECT_EQ(shell_word("../case_1/run"), "../case_1/run");
  EXPECT_EQ(shell_word("a b"), "'a b'");
  EXPECT_EQ(shell_word("x; rm -rf /"), "'x; rm -rf /'");
  EXPECT_EQ(shell_word("$(reboot)"), "'$(reboot)'");
  EXPECT_EQ(shell_word("it's"), "'it'\\''s'");
  EXPECT_EQ(shell_word(""), "''");
}

TEST(Values, LookupsNameTheMissingKey) {
  const Json adv = {{"max_flow_iters", {{"value", 10}}}, {"broken", 5}};
  EXPECT_EQ(adv_value(adv, "max_flow_iters"), 10);
  try {
    adv_value(adv, "turbulence_model");
    FAIL();
  } catch (const KeyError& e) {
    EXPECT_STREQ(e.what(), "'turbulence_model'");
  }
  EXPECT_THROW(adv_value(adv, "broken"), KeyError);
  EXPECT_THROW(input_value(Json::object(), "mach_number"), KeyError);
}

// Writers in several threads and several processes replace one file over and over while a
// reader parses it: no write fails, the reader only ever sees whole documents, and no
// temporary file is left.
TEST(JsonFile, ConcurrentAtomicWritersNeverFailAndReadersSeeWholeFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("orvanta_json_file_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string path = (dir / "case.json").string();
  write_json_file_atomic(path, Json{{"writer", -1}});
  // Large enough that a write takes more than one system call's worth of time.
  auto document = [](int writer, int i) {
    return Json{{"writer", writer}, {"i", i}, {"padding", std::string(64 * 1024, 'x')}};
  };
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, failed{0};
  // Processes first, so that each is forked from a single-threaded parent.
  std::vector<pid_t> children;
  for (int p = 0; p < 3; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      int status = 0;
      for (int i = 0; i < 100; ++i) {
        try {
          write_json_file_atomic(path, document(100 + p, i));
        } catch (const std::exception&) {
          status = 1;
        }
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  std::thread reader([&] {
    while (!done) {
      try {
        const Json j = read_json_object_file(path);
        if (!j.contains("writer")) ++torn;
      } catch (const std::exception&) {
        ++torn;
      }
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        try {
          write_json_file_atomic(path, document(t, i));
        } catch (const std::exception&) {
          ++failed;
        }
      }
    });
  for (auto& w : writers) w.join();
  for (const pid_t pid : children) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer process failed";
  }
  done = true;
  reader.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(read_json_object_file(path)["padding"].get<std::string>().size(), 64u * 1024);
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1u);
  fs::remove_all(dir);
}

// Files of a case are read back by the server: documents nested deep enough to overflow the
// stack when copied or printed, and numbers too large for a double, are format errors.
TEST(JsonFile, HostileDocumentsAreFormatErrors) {
  namespace fs = std::filesystem;
  const fs::path path = fs::temp_directory_path() / ("orvanta_hostile_" + std::to_string(::getpid()) + ".json");
  auto read_back = [&](const std::string& text) {
    { std::ofstream(path) << text; }
    return read_json_object_file(path.string());
  };
  EXPECT_THROW(read_back("{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}"), FormatError);
  EXPECT_THROW(read_back("{\"n_cells\": 1e999}"), FormatError);
  EXPECT_THROW(read_back("[1]"), FormatError);
  const std::string nested = std::string(200, '[') + std::string(200, ']');
  EXPECT_EQ(read_back("{\"a\":" + nested + ", \"b\": \"[[[[\"}")["b"], "[[[[");
  fs::remove(path);
}

}  // namespace
}  // namespace orvanta
