package nl.tamsel.ftdi.usb;

import org.junit.jupiter.api.extension.BeforeEachCallback;
import org.junit.jupiter.api.extension.ConditionEvaluationResult;
import org.junit.jupiter.api.extension.ExecutionCondition;
import org.junit.jupiter.api.extension.ExtensionContext;

/** What {@link NeedsSigrokCli} does: skip each test on Windows, fail each where the tool is missing. */
final class SigrokCliCondition implements ExecutionCondition, BeforeEachCallback {

    /** The reason a skipped decoder test gives; scripts count the skipped tests by it. */
    static final String SKIPPED_ON_WINDOWS = "sigrok-cli is a Linux program: decoder test skipped on Windows";

    private static final boolean WINDOWS = System.getProperty("os.name", "").startsWith("Windows");

    /**
     * Disables each test and each parameterised case, not the class or the case's method, so that
     * the summary counts every skipped case.
     */
    @Override
    public ConditionEvaluationResult evaluateExecutionCondition(ExtensionContext context) {
        String id = context.getUniqueId();
        String last = id.substring(id.lastIndexOf("/[") + 1);
        boolean test = last.startsWith("[method:") || last.startsWith("[test-template-invocation:");
        return WINDOWS && test ? ConditionEvaluationResult.disabled(SKIPPED_ON_WINDOWS)
                : ConditionEvaluationResult.enabled("sigrok-cli runs here");
    }

    @Override
    public void beforeEach(ExtensionContext context) {
        if (!SigrokCli.available()) {
            throw new AssertionError("sigrok-cli is not installed, and this test needs its decoders:"
                    + " run scripts/setup (it installs Debian's sigrok-cli)");
        }
    }
}
