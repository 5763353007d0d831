# make run   builds, writes a demo exam and opens the window on it
# make test  builds and runs every test, then again under ASan + UBSan
# make screenshots  saves pictures of the window (open, loaded, after a run)
# make bench  builds and runs every benchmark at full size (some minutes)
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= 2

.PHONY: all deps build build-asan test test-asan run screenshots bench format clean

all: build

deps:
	@tools/setup-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSLICERY_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

run: build
	@tools/run-demo $(BUILD)

screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/tests/qt/window-screenshots $(BUILD)/screenshots

bench: build
	$(BUILD)/bench/bench_load
	$(BUILD)/bench/bench_window
	$(BUILD)/bench/bench_run

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
