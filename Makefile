# Thin wrapper over CMake: `make run` and `make check` do all the set-up on a fresh machine.
BUILD_DIR ?= build
FILE ?= examples/song.mp3
WERROR ?= OFF
JOBS ?= $(shell nproc)

.PHONY: run check check-sanitize bench clean

# Builds the release binary and prints the report of FILE.
run:
	@cmake -S . -B $(BUILD_DIR)/release -DCMAKE_BUILD_TYPE=Release -DID3SNIFF_TESTS=OFF > /dev/null
	@cmake --build $(BUILD_DIR)/release -j $(JOBS) --target id3sniff > /dev/null
	@$(BUILD_DIR)/release/app/id3sniff "$(FILE)"

# Builds everything with the tests and runs the whole suite.
check:
	cmake -S . -B $(BUILD_DIR)/check -DCMAKE_BUILD_TYPE=RelWithDebInfo -DID3SNIFF_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR)/check -j $(JOBS)
	ctest --test-dir $(BUILD_DIR)/check --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
check-sanitize:
	cmake -S . -B $(BUILD_DIR)/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DID3SNIFF_WERROR=$(WERROR) \
	  -DID3SNIFF_SANITIZE=ON -DID3SNIFF_STATIC=OFF
	cmake --build $(BUILD_DIR)/sanitize -j $(JOBS)
	ctest --test-dir $(BUILD_DIR)/sanitize --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)

# Measures whole runs against a bare 16 KiB reader; prints a table (not part of the tests).
bench:
	bash bench/run
