# make run   installs what is missing, builds, runs the camera on a simulated board (Ctrl-C stops it)
# make test  installs what is missing, builds, runs every test
JOBS      ?= $(shell nproc)
BUILD     ?= build
TSAN      ?= build-tsan
ARM       ?= build-arm
FUZZ      ?= build-fuzz
FUZZ_SECONDS ?= 60
BOARD     ?= $(CURDIR)/board
CMAKE_GEN  = -G Ninja
# CI builds treat every warning as an error.
ifeq ($(CI),true)
CMAKE_GEN += -DDASHCAM_WERROR=ON
endif

.PHONY: all deps build build-tsan build-arm test test-unit test-tsan test-arm fuzz run clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DDASHCAM_SANITIZER=asan

$(TSAN)/build.ninja:
	cmake -S . -B $(TSAN) $(CMAKE_GEN) -DDASHCAM_SANITIZER=tsan

$(FUZZ)/build.ninja:
	cmake -S tests/fuzz -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_CXX_COMPILER=clang++

$(ARM)/build.ninja:
	cmake -S . -B $(ARM) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-tsan: deps $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS)

# A skip that is not in tests/expected_skips.txt fails the run when CI=true.
test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600 --output-junit $(CURDIR)/$(BUILD)/junit.xml
	python3 tests/check_skips.py $(BUILD)/junit.xml host

test-tsan: build-tsan
	cd $(TSAN) && ctest --output-on-failure -j $(JOBS) -L threading --timeout 600 --output-junit $(CURDIR)/$(TSAN)/junit.xml
	python3 tests/check_skips.py $(TSAN)/junit.xml host

build-arm: deps $(ARM)/build.ninja
	cmake --build $(ARM) -j $(JOBS)

# The system's own code and unit tests on the camera's 32-bit ARM, under qemu-arm.
test-arm: build-arm
	cd $(ARM) && ctest --output-on-failure -j $(JOBS) --timeout 900 --output-junit $(CURDIR)/$(ARM)/junit.xml
	python3 tests/check_skips.py $(ARM)/junit.xml arm

# The request path, the app channel's frame reassembler, the recovery journal
# and the spilled cache under libFuzzer,
# side by side for FUZZ_SECONDS each, from their seeds; what they find stays
# in $(FUZZ)/corpus and $(FUZZ)/corpus-tcp, their output in $(FUZZ)/*.log.
fuzz: deps $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS)
	mkdir -p $(FUZZ)/corpus $(FUZZ)/corpus-tcp $(FUZZ)/corpus-journal $(FUZZ)/corpus-spill
	$(FUZZ)/tcp_frame_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  $(FUZZ)/corpus-tcp tests/fuzz/tcp-seeds > $(FUZZ)/tcp.log 2>&1 & tcp=$$!; \
	$(FUZZ)/mp4_journal_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  $(FUZZ)/corpus-journal tests/fuzz/journal-seeds > $(FUZZ)/journal.log 2>&1 & journal=$$!; \
	$(FUZZ)/record_spill_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  $(FUZZ)/corpus-spill tests/fuzz/spill-seeds > $(FUZZ)/spill.log 2>&1 & spill=$$!; \
	$(FUZZ)/http_request_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  $(FUZZ)/corpus tests/fuzz/seeds > $(FUZZ)/http.log 2>&1; http=$$?; \
	wait $$tcp; tcprc=$$?; \
	wait $$journal; journalrc=$$?; \
	wait $$spill; spillrc=$$?; \
	tail -n 8 $(FUZZ)/http.log $(FUZZ)/tcp.log $(FUZZ)/journal.log $(FUZZ)/spill.log; \
	[ $$http -eq 0 ] || { cat $(FUZZ)/http.log; exit 1; }; \
	[ $$tcprc -eq 0 ] || { cat $(FUZZ)/tcp.log; exit 1; }; \
	[ $$journalrc -eq 0 ] || { cat $(FUZZ)/journal.log; exit 1; }; \
	[ $$spillrc -eq 0 ] || { cat $(FUZZ)/spill.log; exit 1; }

test: test-unit test-tsan fuzz

run: build
	@[ -f $(BOARD)/dev/mem ] || sim/board init $(BOARD)
	@[ -f $(BOARD)/dev/mtd0 ] || sim/board mtd $(BOARD)
	@[ -f $(BOARD)/pcmsource/en/off.wav ] || sim/board pcmsource $(BOARD)
	@echo "Camera on the simulated board $(BOARD); Ctrl-C stops it."
	@sim/board gps $(BOARD) > $(BOARD)/log/gps-feeder.log 2>&1 & feeder=$$!; \
	trap 'kill $$feeder 2>/dev/null' EXIT; trap 'exit 130' INT TERM; \
	for i in $$(seq 100); do grep -q ready $(BOARD)/log/gps-feeder.log 2>/dev/null && break; sleep 0.1; done; \
	BOARD_ROOT=$(BOARD) $(BUILD)/dashcam

clean:
	rm -rf $(BUILD) $(TSAN) $(ARM) $(FUZZ)
