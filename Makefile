# Entry points. `make demo` runs the main job, `make test` runs every test;
# both install what they need first.
.PHONY: setup build demo test unit fuzz asan tsan bench clean

setup:
	@bash scripts/setup.sh

build: setup
	cmake --preset default >/dev/null
	cmake --build --preset default

demo: build
	bash scripts/demo.sh

unit: build
	ctest --preset default

fuzz: setup
	bash scripts/fuzz.sh

# Unit tests last, so their summary closes the output.
test: fuzz unit

asan: setup
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

tsan: setup
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan
	ctest --preset tsan

bench: build
	bash scripts/bench.sh

clean:
	rm -rf build
