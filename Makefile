# Papelo: the two commands a new machine needs are `make demo` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
CTEST_JOBS ?= 2
SANITIZE_DIR ?= build-sanitize
FUZZ_SECONDS ?= 60

export QT_QPA_PLATFORM ?= offscreen
ifeq ($(shell id -u),0)
export QTWEBENGINE_DISABLE_SANDBOX := 1
endif

.PHONY: all deps configure build test demo screenshots clean sanitize leakcheck fuzz package installed-check

all: build

deps:
	bash scripts/deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPAPELO_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(CTEST_JOBS)

demo: build
	bash scripts/demo.sh $(BUILD_DIR)

# The Debian packages papelo and papelo-server, from this build, into
# $(BUILD_DIR)/packages (README, "Install").
package: build
	cmake --build $(BUILD_DIR) --target package

# Installs both packages with apt, runs them, checks the unit, purges them.
installed-check:
	bash scripts/check-installed-packages.sh $(BUILD_DIR)

screenshots: build
	bash scripts/screenshots.sh $(BUILD_DIR)

# The whole suite under ASan + UBSan, in a build of its own (README,
# "Sanitizers and fuzzing"). In the suite's ASan options:
#  new_delete_type_mismatch=0  QtWebEngine's own code trips this check when a
#                              web view is destroyed (inside the engine, not ours);
#  detect_leaks=0              Qt, fontconfig and the engine keep allocations
#                              until exit that LeakSanitizer reports as leaks;
#                              `make leakcheck` looks for ours instead.
SANITIZE_ENV = ASAN_OPTIONS=new_delete_type_mismatch=0:detect_leaks=0:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAPELO_SANITIZE=address
	cmake --build $(SANITIZE_DIR)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(CTEST_JOBS)

# The core and server suites under LeakSanitizer (needs `make sanitize` first);
# what Qt and the system libraries keep until exit is suppressed in
# scripts/lsan-suppressions.txt, with the reasons.
leakcheck:
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=new_delete_type_mismatch=0:detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan-suppressions.txt:print_suppressions=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(CTEST_JOBS) -R '^tst_(decoding|apiclient|enrichment|persistence|styledhtml|imageurl|credentials|keychain|trace|server)'

# Every libFuzzer target of tests/fuzz for FUZZ_SECONDS each (clang).
fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR)
