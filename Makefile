# Entry points. `make demo` runs the main job, `make test` runs every test stage and
# closes with a summary; both install what they need first.
.PHONY: setup build demo test unit package asan tsan fuzz bench clean

setup:
	@bash scripts/setup.sh

build: setup
	@bash scripts/build.sh default

# Builds only the client and the development server (scripts/demo.sh), not the tests.
demo: setup
	@bash scripts/demo.sh

# Unit, package, asan, tsan and fuzz stages; non-zero when any of them fails.
test: setup
	@bash scripts/test.sh

# One stage at a time.
unit package asan tsan fuzz: setup
	@bash scripts/test.sh $@

bench: build
	@bash scripts/bench.sh

clean:
	rm -rf build
