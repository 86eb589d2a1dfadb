# Quietbox: `make run` builds and starts the program, `make test` builds and runs every test.
# Both first install any missing Debian build and test dependency.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# Most tests wait on processes, windows and disks rather than the processor: run twice as many.
TEST_JOBS ?= $(shell echo $$(( $(JOBS) * 2 )))
# CI builds with warnings as errors; `make test CMAKE_FLAGS=` turns that off.
CMAKE_FLAGS ?= -DQB_WERROR=ON

# Every Debian package the build, the tests and the benchmarks need.
DEPS := build-essential cmake pkg-config \
        qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev \
        libsqlcipher-dev zlib1g-dev libgtest-dev \
        xvfb xauth openbox x11-utils xdotool wmctrl sqlite3 sqlcipher fonts-dejavu-core pigz gzip \
        dpkg-dev file ccache lld desktop-file-utils appstream man-db groff-base shared-mime-info bash-completion

# ccache shares objects between build folders and clones of this tree (paths taken relative).
export CCACHE_BASEDIR ?= $(abspath $(CURDIR)/..)
export CCACHE_NOHASHDIR ?= 1
# Precompiled headers are cacheable only with these.
export CCACHE_SLOPPINESS ?= pch_defines,time_macros,include_file_mtime,include_file_ctime

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test check-fast check-crash bench asan format clean package

all: build

deps:
	@missing=$$(for p in $(DEPS); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

# Always (re)configured, so a changed build type or flag reaches an existing build folder.
configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/quietbox

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(TEST_JOBS)

# While developing: every test but the kill -9 rounds, the window-manager run and the package.
check-fast: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(TEST_JOBS) -LE 'crash|slow'

# Kill -9 tests alone: a worker is killed at random moments while it edits documents, packs,
# adds a password or restores; every committed document must survive, nothing in clear stays.
check-crash: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target crash_test
	cd $(BUILD_DIR) && ctest -L crash --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bin/bench_archive
	$(BUILD_DIR)/bin/bench_blob
	$(BUILD_DIR)/bin/bench_documents
	$(BUILD_DIR)/bin/bench_docs_tool

# Everything under AddressSanitizer and UndefinedBehaviorSanitizer, in its own build folder.
asan:
	$(MAKE) test BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_FLAGS=-DQB_SANITIZE=ON

# The Debian package, built in its own folder for /usr with Debian's hardening flags:
# $(PKG_DIR)/quietbox_<version>_<arch>.deb
PKG_DIR ?= build-deb
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package: deps
	cmake -S . -B $(PKG_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_INSTALL_DOCDIR=share/doc/quietbox -DQB_BUILD_TESTS=OFF -DQB_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PKG_DIR) -j $(JOBS)
	cd $(PKG_DIR) && cpack -G DEB

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) build-asan $(PKG_DIR)
