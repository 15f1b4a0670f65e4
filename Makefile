# Top-level entry points. `make test` installs what is missing, builds and runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps configure build test bench run clean

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# OpenGL tests need a display: without one, the tests run under a virtual X server.
test: build
	cd $(BUILD) && if [ -n "$$DISPLAY" ]; then ctest --output-on-failure -j $(JOBS); \
	  else xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j $(JOBS); fi

bench: build
	$(BUILD)/bench/loomwork-bench
	if [ -n "$$DISPLAY" ]; then $(BUILD)/bench/loomwork-gl-bench; \
	  else xvfb-run -a -s "-screen 0 1920x1080x24" $(BUILD)/bench/loomwork-gl-bench; fi
	$(BUILD)/bench/loomwork-audio-bench

# Until the application lands, `run` builds the "materials" test scene with the tool and meshes it.
run: build
	mkdir -p $(BUILD)/out
	$(BUILD)/tools/loomwork-tool scene materials -o $(BUILD)/out/materials.sculpt
	$(BUILD)/tools/loomwork-tool info $(BUILD)/out/materials.sculpt
	$(BUILD)/tools/loomwork-tool mesh $(BUILD)/out/materials.sculpt -o $(BUILD)/out/materials.ply --stats

clean:
	rm -rf $(BUILD)
