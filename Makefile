# Vessa: `make run` builds and starts the player, `make test` builds and runs
# every test. Both install the Debian packages they need first. `make fuzz`
# builds the fuzz targets and their seed corpora with clang in a separate
# build folder; `scripts/run-fuzzers.sh SECONDS` runs them. WERROR=ON makes
# every compiler warning an error (CI builds with it).
BUILD_DIR ?= build
FUZZ_BUILD_DIR ?= build-fuzz
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
WERROR ?= OFF

.PHONY: all deps configure build run test bench fuzz clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVESSA_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

run: build
	$(BUILD_DIR)/Vessa/vessa

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure --parallel $(JOBS)

bench: build
	./scripts/run-benchmarks.sh $(BUILD_DIR)

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVESSA_FUZZ=ON -DVESSA_WERROR=$(WERROR)
	cmake --build $(FUZZ_BUILD_DIR) --target fuzz --parallel $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_BUILD_DIR)
