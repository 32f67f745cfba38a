.PHONY: demo test build clean screenshot package
demo:
	GUI=$(GUI) scripts/demo.sh
test:
	scripts/test.sh
build:
	scripts/setup.sh build
clean:
	rm -rf build
screenshot:
	scripts/screenshot.sh
package:
	@# A Debian package installs into /usr, and the program finds its help by the prefix it was built for.
	@if [ -f build/build.ninja ]; then cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr >/dev/null; fi
	scripts/setup.sh build -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build --target package
