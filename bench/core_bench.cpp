// Speed of the text operations on the Play and clock paths.
#include <benchmark/benchmark.h>

#include "access/date_time.h"
#include "access/heap.h"
#include "access/text.h"
#include "platform/headless/headless_platform.h"
#include "routines/routines.h"

namespace {

filmbar::headless::HeadlessPlatform& backend() {
  static filmbar::headless::HeadlessPlatform instance;
  filmbar::platform::install(&instance);
  return instance;
}

void JoinBaseAndAddress(benchmark::State& state) {
  backend();
  const char* address = "http://films.example/watch?id=4242&list=abc";
  for (auto _ : state) {
    char* joined = filmbar::access::join_texts(2, filmbar::routines::first_service_base(), address);
    benchmark::DoNotOptimize(joined);
    filmbar::access::free_block(joined);
  }
}
BENCHMARK(JoinBaseAndAddress);

void DateTimeToText(benchmark::State& state) {
  backend();
  double value = 42810.482557870;  // 2017-03-16 11:34:53
  for (auto _ : state) {
    char* text = filmbar::access::date_time_to_text(value);
    benchmark::DoNotOptimize(text);
    filmbar::access::free_block(text);
  }
}
BENCHMARK(DateTimeToText);

}  // namespace

BENCHMARK_MAIN();
