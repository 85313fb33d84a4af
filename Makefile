# Thin wrapper over CMake: `make run` and `make check` do all the set-up on a fresh machine.
# bash, so that a pipe fails when its first command does (a failed build is not hidden).
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
BUILD_DIR ?= build
FILE ?= examples/song.mp3
WERROR ?= OFF
JOBS ?= $(shell nproc)

.PHONY: run release deb check check-sanitize check-tsan check-valgrind bench fuzz clean

# Builds the release binary and prints the report of FILE.
run: release
	@$(BUILD_DIR)/release/app/id3sniff "$(FILE)"

# The release build: the programs alone, linked as the machine allows best. Says how they are
# linked and shows the build's progress, on standard error: a first build takes a while, and
# standard output keeps the report alone.
release:
	@echo "Configuring $(BUILD_DIR)/release" >&2
	@cmake -S . -B $(BUILD_DIR)/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  | { grep -e 'programs linked' -e 'Error' || true; } >&2
	@echo "Building id3sniff and id3sniff-batch in $(BUILD_DIR)/release/app" >&2
	@cmake --build $(BUILD_DIR)/release -j $(JOBS) \
	  | { grep -v -e 'Consolidate compiler' -e 'Built target' -e 'ing directory' || true; } >&2

# Builds the Debian package from the release build: build/release/id3sniff_<version>_<arch>.deb.
deb: release
	cd $(BUILD_DIR)/release && cpack -G DEB

# Builds everything with the tests and runs the whole suite.
check:
	cmake -S . -B $(BUILD_DIR)/check -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
	  -DID3SNIFF_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR)/check -j $(JOBS)
	cd $(BUILD_DIR)/check && ctest --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
check-sanitize:
	cmake -S . -B $(BUILD_DIR)/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DID3SNIFF_WERROR=$(WERROR) \
	  -DID3SNIFF_SANITIZE=ON -DID3SNIFF_STATIC=OFF
	cmake --build $(BUILD_DIR)/sanitize -j $(JOBS)
	cd $(BUILD_DIR)/sanitize && ctest --output-on-failure -j $(JOBS)

# The suite built with ThreadSanitizer: id3sniff-batch's readers and its writer share no
# unguarded state. A report makes the program exit 66 and write it on standard error, which the
# end-to-end tests see.
check-tsan:
	cmake -S . -B $(BUILD_DIR)/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DID3SNIFF_WERROR=$(WERROR) \
	  -DID3SNIFF_TSAN=ON -DID3SNIFF_STATIC=OFF
	cmake --build $(BUILD_DIR)/tsan -j $(JOBS)
	cd $(BUILD_DIR)/tsan && TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
	  ctest --output-on-failure -j $(JOBS)

# Runs every end-to-end invocation of the binary (dynamically linked, for valgrind's allocator)
# under valgrind; any memory error or leak fails the run.
VALGRIND_LOGS ?= /tmp/id3sniff-valgrind
check-valgrind:
	cmake -S . -B $(BUILD_DIR)/valgrind -DCMAKE_BUILD_TYPE=RelWithDebInfo -DID3SNIFF_STATIC=OFF \
	  -DID3SNIFF_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR)/valgrind -j $(JOBS)
	rm -rf $(VALGRIND_LOGS) && mkdir -p $(VALGRIND_LOGS) && chmod 1777 $(VALGRIND_LOGS)
	cd $(BUILD_DIR)/valgrind && ID3SNIFF_TEST_WRAPPER="valgrind --quiet --error-exitcode=99 \
	  --leak-check=full --errors-for-leak-kinds=all --log-file=$(VALGRIND_LOGS)/%p.log" \
	  ctest --output-on-failure -j $(JOBS) -R '^(CommandLine|BadInput|BundledSample|Batch)\.'
	@# valgrind 3.19 knows no openat2 (437): it answers ENOSYS, which id3sniff-batch takes as a
	@# kernel without it, and writes a warning, which is no error of the program's.
	@if cat $(VALGRIND_LOGS)/*.log 2>/dev/null | grep -v -e 'unhandled amd64-linux syscall: 437' \
	  -e 'You may be able to write your own handler' -e 'README_MISSING_SYSCALL_OR_IOCTL' \
	  -e 'Nevertheless we consider this a bug' -e 'valgrind.org/support/bug_reports' | grep -q .; \
	  then cat $(VALGRIND_LOGS)/*.log; echo "valgrind found errors"; exit 1; fi

# Builds the libFuzzer target with clang and runs it for FUZZ_SECONDS from the seed corpus.
FUZZ_SECONDS ?= 60
fuzz:
	cmake -S . -B $(BUILD_DIR)/fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DID3SNIFF_FUZZ=ON -DBUILD_TESTING=OFF -DID3SNIFF_STATIC=OFF -DID3SNIFF_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR)/fuzz -j $(JOBS) --target id3sniff_fuzz make_seeds
	rm -rf $(BUILD_DIR)/fuzz/seeds && mkdir -p $(BUILD_DIR)/fuzz/seeds $(BUILD_DIR)/fuzz/corpus
	$(BUILD_DIR)/fuzz/fuzz/make_seeds $(BUILD_DIR)/fuzz/seeds
	$(BUILD_DIR)/fuzz/fuzz/id3sniff_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=20000 \
	  -dict=fuzz/id3sniff.dict -print_final_stats=1 -artifact_prefix=$(BUILD_DIR)/fuzz/ \
	  $(BUILD_DIR)/fuzz/corpus $(BUILD_DIR)/fuzz/seeds

# Measures whole runs against a bare 16 KiB reader; prints a table (not part of the tests).
bench:
	bash bench/run

clean:
	rm -rf $(BUILD_DIR)
