# Two commands do everything on a fresh Debian 12 machine: `make test` and `make demo`.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
WINDOWS_BUILD ?= build-windows
MINGW_TOOLCHAIN = cmake/mingw-w64.cmake
JOBS ?= $(shell nproc)

.PHONY: all deps build build-sanitize windows test unit-test sanitize-test windows-test e2e-test demo bench install clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARVO_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)

# The Windows programs, cross-built with MinGW-w64 against a libcurl built once from Debian's
# source package.
windows: deps
	curl=$$(scripts/build-curl-mingw $(MINGW_TOOLCHAIN)) && \
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(MINGW_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCURL_DIR=$$curl/lib/cmake/CURL
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

unit-test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

sanitize-test: build-sanitize
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

windows-test: windows
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure

e2e-test: build windows
	ZARVO_WINDOWS_BUILD_DIR=$(WINDOWS_BUILD) scripts/run-e2e $(BUILD)

test: unit-test sanitize-test windows-test e2e-test

demo: build
	scripts/demo $(BUILD)

bench: build
	scripts/bench $(BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD) demo
