# Single entry point: `make run` starts Tessary, `make test` runs every test.
# Both install what they need first.
.PHONY: deps run install test check test-page test-native preview bench screenshots

deps:
	@scripts/install-deps.sh

run: deps
	scripts/run.sh

# The programs into PREFIX (default /usr/local; DESTDIR stages the files), and
# the daily wallpaper's systemd user service and timer, off until enabled.
PREFIX ?= /usr/local
install: deps
	cmake -S . -B build/native -DCMAKE_INSTALL_PREFIX="$(PREFIX)" >/dev/null
	scripts/build-maker.sh
	cmake --install build/native

check: deps
	scripts/check-includes.sh
	npx tsc -p tsconfig.json
	npx eslint .

test-page: deps
	node --test --test-concurrency=1 tests/node/ tests/browser/

test-native: deps
	scripts/test-native.sh

test: check test-page test-native

preview: deps
	node scripts/preview.js

bench: deps
	node scripts/bench.js

screenshots: deps
	scripts/screenshots.sh
