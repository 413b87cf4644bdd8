package com.tessivar.bms.can.kvaser;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * A Velmora class without the _handle field: _init cannot record the handle, so it closes the
 * channel and leaves the VM's NoSuchFieldError to the caller instead of writing through a null
 * field. The class lives in its own class loader, with its own copy of the library (the VM binds
 * a library file to one class loader).
 */
class MissingHandleFieldTest extends VirtualBusTest {
  @Test
  void initClosesTheChannelAndLeavesNoSuchFieldError(@TempDir Path directory) throws Exception {
    Path library = Path.of(System.getProperty("velmora.test.library"));
    Path libraryCopy = Files.copy(library, directory.resolve("libVelmoraJavaCopy.so"));
    URL classJar =
        Path.of(System.getProperty("velmora.test.withoutHandleFieldJar")).toUri().toURL();

    try (URLClassLoader loader =
             new URLClassLoader(new URL[] {classJar}, ClassLoader.getPlatformClassLoader())) {
      Class<?> withoutField = loader.loadClass("com.tessivar.bms.can.kvaser.Velmora");
      withoutField.getMethod("loadLibrary", String.class).invoke(null, libraryCopy.toString());
      Object velmora = withoutField.getConstructor().newInstance();
      Method init = withoutField.getMethod("_init", int.class, int.class);
      VirtualCanlib.recordCalls(true);

      InvocationTargetException thrown =
          assertThrows(InvocationTargetException.class, () -> init.invoke(velmora, 0, BITRATE));

      NoSuchFieldError error = assertInstanceOf(NoSuchFieldError.class, thrown.getCause());
      assertTrue(error.getMessage().contains("_handle"), error.getMessage());
      assertEquals(List.of("canInitializeLibrary", "canOpenChannel", "canSetBusParams", "canBusOn",
                       "canClose"),
          VirtualCanlib.callNames());
      int opened = VirtualCanlib.calls("canOpenChannel").get(0).result();
      assertEquals(opened, VirtualCanlib.calls("canClose").get(0).handle());
      assertClosed(opened);
    }
  }
}
