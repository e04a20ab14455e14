# Papelo: the two commands a new machine needs are `make demo` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
CTEST_JOBS ?= 2

export QT_QPA_PLATFORM ?= offscreen
ifeq ($(shell id -u),0)
export QTWEBENGINE_DISABLE_SANDBOX := 1
endif

.PHONY: all deps configure build test demo screenshots clean fuzz

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

screenshots: build
	bash scripts/screenshots.sh $(BUILD_DIR)

fuzz:
	bash scripts/fuzz.sh

clean:
	rm -rf $(BUILD_DIR)
