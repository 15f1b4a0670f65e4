# Top-level entry points. `make test` installs what is missing, builds and runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps configure build test bench soak run run-desktop clean

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
	if [ -n "$$DISPLAY" ]; then $(BUILD)/bench/loomwork-gl-bench && $(BUILD)/bench/loomwork-app-bench; \
	  else xvfb-run -a -s "-screen 0 1920x1080x24" sh -c \
	    '$(BUILD)/bench/loomwork-gl-bench && $(BUILD)/bench/loomwork-app-bench'; fi
	$(BUILD)/bench/loomwork-audio-bench

# The program on the simulated headset for SOAK_SECONDS with random strokes, tools, saves, loads
# and scenes: frames, resident memory per cycle (each starts with New) and any error line.
SOAK_SECONDS ?= 300
soak: build
	if [ -n "$$DISPLAY" ]; then python3 bench/soak.py --program $(BUILD)/app/loomwork \
	  --data $(BUILD)/data --seconds $(SOAK_SECONDS); \
	else xvfb-run -a -s "-screen 0 1280x720x24" python3 bench/soak.py \
	  --program $(BUILD)/app/loomwork --data $(BUILD)/data --seconds $(SOAK_SECONDS); fi

# The program on the simulated headset (mouse and keyboard drive the controllers), run from the
# built data tree. Each eye is drawn at the size of its half of the window: without a GPU the
# software renderer draws fewer pixels, and the window shows them unscaled.
run: build
	cd $(BUILD)/data && LOOMWORK_VR_RUNTIME=simulated LOOMWORK_VR_EYE_SIZE=640x720 ../app/loomwork

# The program in a plain desktop window.
run-desktop: build
	cd $(BUILD)/data && ../app/loomwork --novr

clean:
	rm -rf $(BUILD)
