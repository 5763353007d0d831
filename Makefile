# make run      builds the window, writes a demo exam and opens the window on it
# make test     builds and runs every test, then again under ASan + UBSan
# make package  builds a Debian package of both programs (out/)
# make screenshots  saves pictures of the window (open, loaded, after a run, preview, undo, stop, exams)
# make bench    builds and runs every benchmark at full size (some minutes)
# make windows  cross-builds slicery.exe and slicery-cli.exe for Windows into out/windows/
# make test-windows  builds the Windows tests and runs them under Wine
# make package-windows  the Windows zip, installer and MSI (out/)
# make screenshot-windows  saves a picture of slicery.exe under Wine and Xvfb (doc/)
# WERROR=ON makes compiler warnings errors (CI sets it).
BUILD      ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD  ?= build-windows
JOBS       ?= 2
WERROR     ?= OFF

# The main build is a Release build (as packagers configure it) with Debian's
# compiler and linker flags from dpkg-buildflags on top (hardening,
# _FORTIFY_SOURCE), so both kinds of package build are covered; a plain
# Release build where dpkg-buildflags is missing.
CONFIGURE = if command -v dpkg-buildflags >/dev/null; then \
	  cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSLICERY_WERROR=$(WERROR) \
	    -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"; \
	else \
	  cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSLICERY_WERROR=$(WERROR); \
	fi

.PHONY: all deps configure build build-asan test test-asan run package screenshots bench format clean \
	windows configure-windows test-windows package-windows screenshot-windows

all: build

deps:
	@tools/setup-deps

configure: deps
	@$(CONFIGURE)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The tests under AddressSanitizer and UndefinedBehaviorSanitizer; the
# benchmarks time the Release build, so this one leaves them out.
build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSLICERY_SANITIZE=ON -DSLICERY_WERROR=$(WERROR) \
	  -DSLICERY_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j$(JOBS)

test: build build-asan test-windows
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

# Windows: cross-built with MinGW-w64 (cmake/mingw-w64.cmake), statically
# linked, tested under Wine in a prefix of the build's own. The comparison
# with the Linux slicery-cli takes that and make-exam from $(BUILD).
configure-windows: deps
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DSLICERY_WERROR=$(WERROR) \
	  "-DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/tools/wine-run;--prefix;$(abspath $(WIN_BUILD))/wine" \
	  -DSLICERY_NATIVE_BUILD=$(abspath $(BUILD))

windows: configure-windows
	cmake --build $(WIN_BUILD) --target slicery slicery-cli -j$(JOBS)
	mkdir -p out/windows
	cp $(WIN_BUILD)/src/app/win32/slicery.exe $(WIN_BUILD)/src/cli/slicery-cli.exe out/windows/
	@ls -l out/windows/

test-windows: configure configure-windows
	cmake --build $(BUILD) --target slicery-cli make-exam -j$(JOBS)
	cmake --build $(WIN_BUILD) -j$(JOBS)
	ctest --test-dir $(WIN_BUILD) --output-on-failure -j$(JOBS)

# The portable zip, the per-user installer (NSIS) and the per-machine MSI
# (wixl), made in the build and copied into out/.
package-windows: configure-windows
	cmake --build $(WIN_BUILD) --target slicery-packages -j$(JOBS)
	mkdir -p out
	cp $(WIN_BUILD)/dist/windows/slicery-*-windows-x64.zip $(WIN_BUILD)/dist/windows/slicery-*-setup.exe \
	  $(WIN_BUILD)/dist/windows/slicery-*-x64.msi out/
	@ls -l out/slicery-*-windows-x64.zip out/slicery-*-setup.exe out/slicery-*-x64.msi

screenshot-windows: configure-windows
	cmake --build $(WIN_BUILD) --target slicery make-exam -j$(JOBS)
	tests/win32/window-screenshot $(WIN_BUILD) doc/windows-window.png

# Only the window and the exam writer: no tests, no benchmarks.
run: configure
	cmake --build $(BUILD) --target slicery make-exam -j$(JOBS)
	@tools/run-demo $(BUILD)

# lintian checks the package where it is installed.
package: build
	rm -rf out
	cd $(BUILD) && cpack -G DEB -B $(CURDIR)/out
	@if command -v lintian >/dev/null; then \
	  lintian --fail-on error out/*.deb; \
	else \
	  echo "lintian is not installed: the package was not checked."; \
	fi
	@ls out/*.deb

screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/tests/qt/window-screenshots $(BUILD)/screenshots

bench: build
	$(BUILD)/bench/bench_load
	$(BUILD)/bench/bench_window
	$(BUILD)/bench/bench_preview
	$(BUILD)/bench/bench_run
	$(BUILD)/bench/bench_exams

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) out
