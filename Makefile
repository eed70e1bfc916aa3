# Single entry point: `make run` starts Tessary, `make test` runs every test.
# Both install what they need first.
.PHONY: deps run test check test-page test-native preview bench screenshots install

deps:
	@scripts/install-deps.sh

run: deps
	scripts/run.sh

# Installs both programs, their desktop entries, icon and ".kiro" file type,
# and the daily wallpaper's systemd user unit and timer (off until enabled)
# under PREFIX (/usr/local by default; PREFIX=~/.local for one user).
PREFIX ?= /usr/local
install: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTESSARY_TESTS=OFF -DCMAKE_INSTALL_PREFIX="$(PREFIX)"
	cmake --build build/release -j2
	cmake --install build/release

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
