# Two commands do everything on a fresh Debian 12 machine: `make test` and `make demo`.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
RELEASE_BUILD ?= build-release
WINDOWS_BUILD ?= build-windows
MINGW_TOOLCHAIN = cmake/mingw-w64.cmake
JOBS ?= $(shell nproc)

.PHONY: all deps build configure-build build-sanitize windows test unit-test sanitize-test \
	windows-test e2e-test demo bench bench-tls format-check clean

all: build

# apt is asked again only when the package list has changed since it last succeeded.
DEPS_STAMP = $(BUILD)/.deps-installed
deps: $(DEPS_STAMP)
$(DEPS_STAMP): scripts/install-deps
	scripts/install-deps
	mkdir -p $(@D) && touch $@

configure-build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure-build
	cmake --build $(BUILD) -j $(JOBS)

build-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARVO_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)

# The Windows programs, cross-built with MinGW-w64 against a libcurl and a miniupnpc built once
# from Debian's source packages. The tree of the setup's programs, built inside, takes the same
# job count.
windows: deps
	curl=$$(scripts/build-curl-mingw $(MINGW_TOOLCHAIN)) && \
	upnp=$$(scripts/build-miniupnpc-mingw $(MINGW_TOOLCHAIN)) && \
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(MINGW_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCURL_DIR=$$curl/lib/cmake/CURL \
	  -Dminiupnpc_DIR=$$upnp/lib/cmake/miniupnpc
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) cmake --build $(WINDOWS_BUILD) -j $(JOBS)

unit-test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

sanitize-test: build-sanitize
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

windows-test: windows
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure

e2e-test: build windows
	ZARVO_WINDOWS_BUILD_DIR=$(WINDOWS_BUILD) scripts/run-e2e $(BUILD)

test: unit-test sanitize-test windows-test e2e-test

# The demo runs the service program only; `make demo IPV6=1` switches IPv6 on beside IPv4, and
# `make demo PROVIDER=desec` names a built-in provider, played by the fake one, and
# `make demo ROUTER=1` (as root) takes the IPv4 address from a local miniupnpd.
demo: configure-build
	cmake --build $(BUILD) -j $(JOBS) --target zarvoupdater
	scripts/demo $(BUILD) $(if $(IPV6),--ipv6) $(if $(PROVIDER),--provider $(PROVIDER)) \
	  $(if $(ROUTER),--router)

bench: build
	scripts/bench $(BUILD)

# The http and https part of the benchmarks alone.
bench-tls: build
	/usr/bin/python3 bench/tls/bench_tls.py $(BUILD)

# The Debian packages zarvoupdater and zarvoupdater-configure, from a release tree without the
# tests' environment hooks, at -O2 as Debian builds its packages.
.PHONY: package
package: deps
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DZARVO_BUILD_TESTS=OFF -DZARVO_TEST_HOOKS=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	cd $(RELEASE_BUILD) && cpack

# Not part of `test`: builds the fuzz targets with clang and runs each FUZZ_SECONDS seconds.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
.PHONY: fuzz
fuzz:
	scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(RELEASE_BUILD) $(WINDOWS_BUILD) demo
