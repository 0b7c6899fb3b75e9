package nl.tamsel.ftdi.sim.junit;

import static org.junit.platform.engine.discovery.DiscoverySelectors.selectClass;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import org.junit.platform.engine.TestExecutionResult;
import org.junit.platform.launcher.Launcher;
import org.junit.platform.launcher.TestExecutionListener;
import org.junit.platform.launcher.TestIdentifier;
import org.junit.platform.launcher.core.LauncherDiscoveryRequestBuilder;
import org.junit.platform.launcher.core.LauncherFactory;

/**
 * Runs test classes with a JUnit launcher of their own, to observe what the extension does to
 * whole test runs. The classes run here are nested classes, which surefire does not run itself.
 */
final class JUnitRun {

    /** Runs with JUnit's parallel execution: every class and method concurrently, four threads. */
    static final Map<String, String> PARALLEL = Map.of(
            "junit.jupiter.execution.parallel.enabled", "true",
            "junit.jupiter.execution.parallel.mode.default", "concurrent",
            "junit.jupiter.execution.parallel.mode.classes.default", "concurrent",
            "junit.jupiter.execution.parallel.config.strategy", "fixed",
            "junit.jupiter.execution.parallel.config.fixed.parallelism", "4");

    /** The tests that passed and the failures of those that did not, by display name. */
    final List<String> passed = Collections.synchronizedList(new ArrayList<>());
    final List<String> failures = Collections.synchronizedList(new ArrayList<>());

    static JUnitRun of(Map<String, String> configuration, Class<?>... classes) {
        JUnitRun run = new JUnitRun();
        LauncherDiscoveryRequestBuilder request = LauncherDiscoveryRequestBuilder.request()
                .configurationParameters(configuration);
        for (Class<?> type : classes) {
            request.selectors(selectClass(type));
        }
        Launcher launcher = LauncherFactory.create();
        launcher.execute(request.build(), new TestExecutionListener() {
            @Override
            public void executionFinished(TestIdentifier test, TestExecutionResult result) {
                if (result.getStatus() == TestExecutionResult.Status.SUCCESSFUL) {
                    if (test.isTest()) {
                        run.passed.add(test.getDisplayName());
                    }
                } else {
                    run.failures.add(test.getDisplayName() + ": "
                            + result.getThrowable().map(Throwable::toString).orElse("?"));
                }
            }
        });
        return run;
    }

    static JUnitRun of(Class<?>... classes) {
        return of(Map.of(), classes);
    }
}
