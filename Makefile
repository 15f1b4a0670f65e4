# Top-level entry points. `make test` installs what is missing, builds and runs every test.
BUILD ?= build
JOBS ?= 2

.PHONY: all deps configure build test check-sanitize fuzz bench soak run run-xr run-desktop \
  install package clean

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
	  else xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --output-on-failure -j $(JOBS); fi

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder.
# Modules stay loaded until exit, so every leak report names its owner; the few that belong to
# system libraries are suppressed by name (tests/sanitizer/lsan.supp).
SANITIZE_BUILD ?= build-asan
# -O1 compiles a quarter faster than -O2 under the sanitizers and inlines less, so stacks stay
# close to the source.
SANITIZE_OPT = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG"
# intercept_tls_get_addr=0: this runtime's __tls_get_addr hook takes a dynamic TLS block that
# malloc placed 16 bytes into a page for a header of old glibc and reads garbage bounds from it;
# the leak check's tracer then faults at exit ("Tracer caught signal 11") in whichever programs
# the heap layout puts there. Without the hook those blocks are ordinary heap chunks reached
# through each thread's DTV, so the leak check still sees what they point to.
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0:intercept_tls_get_addr=0 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
check-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOOMWORK_SANITIZE=ON \
	  -DLOOMWORK_BENCH=OFF $(SANITIZE_OPT)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && if [ -n "$$DISPLAY" ]; then $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS); \
	  else $(SANITIZE_ENV) xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --output-on-failure -j $(JOBS); fi

# libFuzzer targets for every reader of outside data (clang, in its own folder), each run for
# FUZZ_SECONDS from seed corpora the build writes; a crash, leak, time-out or memory blow-up fails.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOOMWORK_FUZZ=ON -DLOOMWORK_TESTS=OFF -DLOOMWORK_BENCH=OFF
	cmake --build $(FUZZ_BUILD) --target loomwork-fuzzers -j $(JOBS)
	bash tests/fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The peer of re-meshing every block: VTK's flying edges on two threads on the "materials" field.
bench: build
	bash scripts/install-deps.sh --bench
	$(BUILD)/bench/loomwork-bench
	$(BUILD)/tools/loomwork_tool/loomwork-tool scene materials -o $(BUILD)/bench/materials.lws
	$(BUILD)/tools/loomwork_tool/loomwork-tool grid $(BUILD)/bench/materials.lws -o $(BUILD)/bench/materials.grid
	bench/vtk_flying_edges.py $(BUILD)/bench/materials.grid --threads 2
	if [ -n "$$DISPLAY" ]; then $(BUILD)/bench/loomwork-gl-bench && $(BUILD)/bench/loomwork-app-bench && $(BUILD)/bench/loomwork-vr-bench; \
	  else xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" sh -c \
	    '$(BUILD)/bench/loomwork-gl-bench && $(BUILD)/bench/loomwork-app-bench && $(BUILD)/bench/loomwork-vr-bench'; fi
	$(BUILD)/bench/loomwork-audio-bench

# The program on the simulated headset for SOAK_SECONDS with random strokes, tools, saves, loads
# and scenes: frames, resident memory per cycle (each starts with New) and any error line.
SOAK_SECONDS ?= 300
soak: build
	if [ -n "$$DISPLAY" ]; then python3 bench/soak.py --program $(BUILD)/app/loomwork \
	  --data $(BUILD)/data --seconds $(SOAK_SECONDS); \
	else xvfb-run -a -s "-screen 0 1280x720x24 -noreset" python3 bench/soak.py \
	  --program $(BUILD)/app/loomwork --data $(BUILD)/data --seconds $(SOAK_SECONDS); fi

# The program on the simulated headset (mouse and keyboard drive the controllers), run from the
# built data tree. Each eye is drawn at the size of its half of the window: without a GPU the
# software renderer draws fewer pixels, and the window shows them unscaled.
run: build
	cd $(BUILD)/data && LOOMWORK_VR_RUNTIME=simulated LOOMWORK_VR_EYE_SIZE=640x720 ../app/loomwork

# The program in a real headset, on the machine's active OpenXR runtime (XR_RUNTIME_JSON may name
# another).
run-xr: build
	cd $(BUILD)/data && LOOMWORK_VR_RUNTIME=openxr ../app/loomwork

# The program in a plain desktop window.
run-desktop: build
	cd $(BUILD)/data && ../app/loomwork --novr

# Installs the programs, the data tree, the desktop entry, icons, the sculpture file type, manual
# pages and the OpenXR runtime under PREFIX (with DESTDIR, into a staging folder), then rebuilds
# that prefix's file-type and desktop databases so a double-clicked sculpture opens the program.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)
	if [ -z "$(DESTDIR)" ]; then \
	  { ! command -v update-mime-database >/dev/null || \
	    update-mime-database $(PREFIX)/share/mime; } && \
	  { ! command -v update-desktop-database >/dev/null || \
	    update-desktop-database -q $(PREFIX)/share/applications; }; fi

# The Debian package (for /usr) in $(BUILD), checked by lintian.
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error $(BUILD)/loomwork_*.deb

clean:
	rm -rf $(BUILD)
